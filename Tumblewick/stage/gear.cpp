#include "Tumblewick/stage/gear.h"

#include <cmath>
#include <numbers>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/picture_key.h"

namespace tw {

void Gear::update(double dt, double energy) {
    spin = energy * 360;
    angle += dt * spin;
}

void Gear::onInput(double strength) {
    jolt = strength * 15;
    angle += jolt;
}

void Gear::draw(Canvas& c) const {
    // A gear looks the same turned by a whole tooth, and the canvas tells turns apart
    // only as far as its rim moves visibly: even a turning gear cycles through a few
    // pictures, stamped.
    const double tooth = teeth > 0 ? 360.0 / teeth : 360.0;
    const double turn = std::isfinite(angle) ? std::fmod(std::fmod(angle, tooth) + tooth, tooth) : 0;
    const double rimTurn = teeth > 0 ? radius * turn * std::numbers::pi / 180 : 0;
    const double extent = radius + 4;
    c.drawCachedPicture(
        PictureKey(pictureKey(0x6EA8, {radius, static_cast<double>(teeth)}), {radius, rimTurn}),
        Rect{-extent, -extent, 2 * extent, 2 * extent}, {x, y}, 1.0,
        [this, turn](Canvas& p, Point at, double) {
            Gear turned = *this;
            turned.angle = turn;
            turned.drawAt(p, at);
        });
}

void Gear::drawAt(Canvas& c, Point centre) const {
    constexpr double pi = std::numbers::pi;
    c.save();
    c.translate(centre.x, centre.y);
    c.rotate(angle * pi / 180);
    c.setFillColor(Colors::brass);
    const double r1 = radius - 3;
    const double r2 = radius + 3;
    for (int i = 0; i < teeth; ++i) {
        const double a = 2 * pi * i / teeth;
        const double b = a + 6 / radius;  // about 6 points wide at the rim
        c.fillPath(Path::polygon({{r1 * std::cos(a), r1 * std::sin(a)},
                                  {r2 * std::cos(a), r2 * std::sin(a)},
                                  {r2 * std::cos(b), r2 * std::sin(b)},
                                  {r1 * std::cos(b), r1 * std::sin(b)}}));
    }
    c.setFillColor(Colors::brassDark);
    c.fillCircle({0, 0}, 0.4 * radius);
    c.setFillColor(Colors::gold);
    c.fillCircle({0, 0}, 3);
    c.setStrokeColor(Colors::brass);
    c.setLineWidth(1);
    c.strokeCircle({0, 0}, radius);
    c.restore();
}

}  // namespace tw
