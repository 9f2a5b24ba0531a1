#include "Tumblewick/stage/shockwave.h"

#include <algorithm>
#include <cmath>

#include "Tumblewick/stage/colors.h"

namespace tw {

void Shockwave::update(double dt) {
    radius += dt * speed;
    if (radius > maxRadius) alive = false;
}

void Shockwave::draw(Canvas& c) const {
    const double p = 1 - radius / maxRadius;
    c.setStrokeColor(Colors::clickRing.withAlpha(p));
    c.setLineWidth(std::max(1.0, std::trunc(3 * p)));
    c.strokeCircle({x, y}, radius);
    if (p > 0.4) {
        c.setStrokeColor(Colors::gold.withAlpha(p));
        c.setLineWidth(std::max(1.0, std::trunc(2 * p)));
        c.strokeCircle({x, y}, 0.7 * radius);
    }
}

}  // namespace tw
