#include "Tumblewick/stage/tightrope_act.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"
#include "Tumblewick/stage/picture_key.h"

namespace tw {

void TightropeAct::onInput(double strength) {
    const double s = random_->uniformInt(0, 1) == 0 ? -1.0 : 1.0;
    wobbleV += strength * s * 80;
}

void TightropeAct::update(double dt, double energy) {
    const double speed = std::max(0.5 * energy, 0.001);
    position += dt * speed * direction;
    if (position >= 1) {
        position = 1;
        direction = -1;
    } else if (position <= 0) {
        position = 0;
        direction = 1;
    }
    phase += dt * (5 * energy + 1);
    wobbleV += dt * random_->uniform(-200, 200);
    wobbleV += dt * wobble * -50;
    wobbleV *= 0.9;
    wobble = std::clamp(wobble + dt * wobbleV, -8.0, 8.0);
}

void TightropeAct::draw(Canvas& c, ParticleSystem&) {
    constexpr double pi = std::numbers::pi;
    const double left = x;
    const double right = x + width;
    const double ropeY = y - 45 + 10;

    // The poles and their knobs stand still: one picture, anchored where the rope starts.
    c.drawCachedPicture(pictureKey(0x7170, {width}), Rect{-4, -9, width + 8, 45}, {left, ropeY}, 1.0,
                        [&](Canvas& p, Point at, double) {
                            p.setStrokeColor(Colors::platform);
                            p.setLineWidth(3);
                            for (const double px : {at.x, at.x + width})
                                p.strokeLine({px, at.y + 35}, {px, at.y - 5});
                            p.setFillColor(Colors::gold);
                            for (const double px : {at.x, at.x + width})
                                p.fillEllipse(Rect{px - 3, at.y - 8, 6, 6});
                        });

    // The rope sags in the middle and dips a little more under the walker. Drawn as short
    // lines: one long stroked path costs the rasteriser several times more each frame, and
    // the bends are too gentle for the joins to show.
    c.setStrokeColor(Colors::rope);
    c.setLineWidth(2);
    Point from{left, ropeY};
    for (int i = 0; i <= 24; ++i) {
        const double t = i / 24.0;
        const Point to{left + (right - left) * t,
                       ropeY + 5 * std::sin(pi * t) + std::max(0.0, 3 - 25 * std::abs(t - position))};
        if (to.x != from.x || to.y != from.y) c.strokeLine(from, to);
        from = to;
    }

    const double fx = left + (right - left) * position;
    const double fy = ropeY + 5 * std::sin(pi * position) + 3 - 9;
    drawActFleaMac(c, "tightrope", fx, fy, direction > 0 ? 1 : -1, phase, 0.9, false);

    const double tilt = 3 * std::sin(2 * phase) + wobble;
    c.setStrokeColor(Colors::rope);
    c.setLineWidth(2);
    c.strokeLine({fx - 20, fy - 1 + tilt}, {fx + 20, fy - 1 - tilt});
}

}  // namespace tw
