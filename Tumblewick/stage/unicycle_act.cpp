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

    // The wheel looks the same turned by a spoke, and the canvas tells turns apart only
    // as far as its rim moves visibly: the turning wheel cycles through a few pictures.
    constexpr double spoke = 60;
    const double turn =
        std::isfinite(wheelAngle) ? std::fmod(std::fmod(wheelAngle, spoke) + spoke, spoke) : 0;
    c.drawCachedPicture(PictureKey(0x0C1EULL, {8 * turn * pi / 180}), Rect{-10, -10, 20, 20}, {ux, baseY + 9},
                        1.0, [turn](Canvas& p, Point at, double) {
                            p.save();
                            p.translate(at.x, at.y);
                            p.rotate(turn * pi / 180);
                            p.setStrokeColor(Colors::wheel);
                            p.setLineWidth(2);
                            p.strokeEllipse(Rect{-8, -8, 16, 16});
                            Path spokes;
                            for (int k = 0; k < 6; ++k) {
                                const double a = k * pi / 3;
                                spokes.moveTo({0, 0}).lineTo({7 * std::cos(a), 7 * std::sin(a)});
                            }
                            p.strokePath(spokes);
                            p.restore();
                        });

    c.setStrokeColor(Colors::platform);
    c.setLineWidth(2);
    c.strokeLine({ux, baseY + 9}, {ux + 0.3 * lean, baseY - 2});

    drawActFleaMac(c, "unicycle", ux + 0.4 * lean, baseY - 8, 1, phase, 0.85, false);
}

}  // namespace tw
