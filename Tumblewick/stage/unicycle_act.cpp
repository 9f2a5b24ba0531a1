#include "Tumblewick/stage/unicycle_act.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"

namespace tw {

void UnicycleAct::update(double dt, double energy) {
    phase += 2 * dt;
    const double speed = std::max(0.25 * energy, 0.01);
    position += dt * speed;
    if (position > 1) position = 0;
    if (position < 0) position = 1;
    lean = 8 * std::sin(4 * std::numbers::pi * position);
    wheelAngle += dt * speed * 360;
}

void UnicycleAct::draw(Canvas& c, ParticleSystem&) {
    constexpr double pi = std::numbers::pi;
    const double ux = x + (position - 0.5) * 120;
    const double baseY = y - 18;

    c.save();
    c.translate(ux, baseY + 9);
    c.rotate(wheelAngle * pi / 180);
    c.setStrokeColor(Colors::wheel);
    c.setLineWidth(2);
    c.strokeEllipse(Rect{-8, -8, 16, 16});
    Path spokes;
    for (int k = 0; k < 6; ++k) {
        const double a = k * pi / 3;
        spokes.moveTo({0, 0}).lineTo({7 * std::cos(a), 7 * std::sin(a)});
    }
    c.strokePath(spokes);
    c.restore();

    c.setStrokeColor(Colors::platform);
    c.setLineWidth(2);
    c.strokeLine({ux, baseY + 9}, {ux + 0.3 * lean, baseY - 2});

    drawActFleaMac(c, "unicycle", ux + 0.4 * lean, baseY - 8, 1, phase, 0.85, false);
}

}  // namespace tw
