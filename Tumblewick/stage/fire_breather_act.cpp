#include "Tumblewick/stage/fire_breather_act.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"
#include "Tumblewick/stage/picture_key.h"

namespace tw {
namespace {

constexpr Color kTorchStick = Color::rgb(0.545, 0.271, 0.075);
constexpr Color kTorchHead = Color::rgb(1, 0.4, 0);
constexpr std::array<Color, 5> kFlame = {
    Color::rgb(1, 0.4, 0),   Color::rgb(1, 0.267, 0), Color::rgb(1, 0.667, 0),
    Color::rgb(1, 0.133, 0), Color::rgb(1, 0.867, 0),
};

}  // namespace

void FireBreatherAct::onInput(double strength) { burst = std::max(burst, 0.5 * strength); }

void FireBreatherAct::onClickNearby(double) { burst = 1; }

// The fire-breather answers only to key presses and clicks, not to the energy.
void FireBreatherAct::update(double dt, double) {
    phase += 3 * dt;
    burst *= 0.95;
}

void FireBreatherAct::draw(Canvas& c, ParticleSystem& particles) {
    const double tx = x + 20 + 10;
    const double ty = y - 14 - 6;
    drawActFleaMac(c, "firebreather", x + 20, y - 14, 1, phase, 0.9, false);

    // The torch stands still: a picture, stamped.
    c.drawCachedPicture(0x70C4ULL, Rect{-2, -10, 16, 13}, {tx, ty}, 1.0, [](Canvas& p, Point at, double) {
        p.setStrokeColor(kTorchStick);
        p.setLineWidth(2);
        p.strokeLine(at, {at.x + 8, at.y - 4});
        p.setFillColor(kTorchHead);
        p.fillEllipse(Rect{at.x + 6, at.y - 8, 6, 6});
    });

    const double i = std::min(burst + 0.3, 1.0);
    if (i <= 0.05) return;
    const double reach = i * (width - 50);
    const int n = std::max(1, static_cast<int>(12 * i));
    for (int k = 1; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        const double w = std::sin(10 * t + 6 * phase);
        c.setFillColor(kFlame[static_cast<std::size_t>(random_->uniformInt(0, 4))]);
        const double r = std::max(3 * i * (1 - 0.6 * t), 1.0);
        c.fillCircle({tx + 12 + reach * t, ty - 5 + (8 * t + 4) * w}, r);
    }
    if (i > 0.3 && random_->uniform(0, 1) < 0.5 * i) {
        particles.sparkle(tx + 12 + reach, ty - 5 + 4 * std::sin(6 * phase), 2);
    }
}

}  // namespace tw
