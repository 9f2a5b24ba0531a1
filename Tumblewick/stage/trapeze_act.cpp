#include "Tumblewick/stage/trapeze_act.h"

#include <algorithm>
#include <cmath>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"
#include "Tumblewick/stage/picture_key.h"

namespace tw {

void TrapezeAct::update(double dt, double energy) {
    constexpr double kLimit = 1.3089969389957472;      // 75°
    constexpr double kLeapAngle = 0.7853981633974483;  // 45°
    fleaPhase += 2 * dt;
    swingForce = 0.5 * energy;
    angleV += dt * std::sin(angle) * -1.6666666666666667;
    if (energy > 0.2) {
        const double push = fleaOnLeft ? -swingForce : swingForce;
        angleV += dt * push * 25;
    }
    angleV *= 0.95;
    angle += dt * angleV;
    angle = std::max(std::min(angle, kLimit), -kLimit);
    if (std::abs(angle) > kLeapAngle && energy > 0.4 && random_->uniform(0, 1) < 0.25 * energy * dt) {
        fleaOnLeft = !fleaOnLeft;
        angle *= 0.7;
        angleV *= -0.6;
    }
}

void TrapezeAct::draw(Canvas& c, ParticleSystem&) {
    const double topY = y - 65;
    // The poles and their bars stand still: one picture, anchored at the left pole's top.
    c.drawCachedPicture(pictureKey(0x74A9, {width}), Rect{-16, -3, width + 32, 70}, {x, topY}, 1.0,
                        [&](Canvas& p, Point at, double) {
                            p.setStrokeColor(Colors::platform);
                            p.setLineWidth(3);
                            for (const double px : {at.x, at.x + width})
                                p.strokeLine({px, at.y + 65}, {px, at.y});
                            p.setStrokeColor(Colors::rope);
                            p.setLineWidth(4);
                            for (const double px : {at.x, at.x + width})
                                p.strokeLine({px - 15, at.y}, {px + 15, at.y});
                        });

    const double px = fleaOnLeft ? x : x + width;
    const double bx = px + 35 * std::sin(angle);
    const double by = topY + 35 * std::cos(angle);
    c.setStrokeColor(Colors::rope);
    c.setLineWidth(2);
    c.strokeLine({px, topY}, {bx, by});
    c.setLineWidth(3);
    c.strokeLine({bx - 14, by}, {bx + 14, by});

    drawActFleaMac(c, "trapeze", bx, by - 6, fleaOnLeft ? 1 : -1, fleaPhase, 0.85, false);
}

}  // namespace tw
