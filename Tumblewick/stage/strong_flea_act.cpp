#include "Tumblewick/stage/strong_flea_act.h"

#include <algorithm>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"

namespace tw {

void StrongFleaAct::onKeystroke() {
    pump = 6;
    if (up) lift = std::min(lift + 0.08, 1.0);
}

void StrongFleaAct::update(double dt, double energy) {
    phase += 2 * dt;
    pump *= 0.8;
    const double e = std::max(energy, 0.01);
    if (up) {
        lift += e * dt;
        if (lift >= 1) {
            lift = 1;
            up = false;
        }
    } else if (lift > 0) {
        lift -= 0.4 * e * dt;  // may end a little below 0; the next frame restores 0
    } else {
        lift = 0;
        up = true;
    }
}

void StrongFleaAct::draw(Canvas& c, ParticleSystem&) {
    c.setFillColor(Colors::platform);
    c.fillRect(Rect{x - 22, y - 2, 44, 5});

    drawActFleaMac(c, "strongman", x, y - 11, 1, phase, 1.0, false);

    const double barY = (y - 15) - (22 * lift + 5 + pump);
    c.setStrokeColor(Colors::systemGray);
    c.setLineWidth(2);
    c.strokeLine({x - 24, barY}, {x + 24, barY});
    for (double e : {x - 24, x + 24}) {
        c.setFillColor(Colors::systemDarkGray);
        c.fillRect(Rect{e - 4, barY - 6, 8, 12});
        c.setFillColor(Colors::systemGray);
        c.fillRect(Rect{e - 3, barY - 8, 6, 16});
    }
}

}  // namespace tw
