#include "Tumblewick/stage/juggling_act.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/flea_figure.h"

namespace tw {

void JugglingAct::onInput(double strength) { throwBoost = std::max(throwBoost, 0.5 * strength); }

void JugglingAct::onClickNearby(double) { throwBoost = std::min(throwBoost + 0.6, 1.0); }

void JugglingAct::update(double dt, double energy) {
    phase += dt * (4 * energy + 1.5);
    throwBoost *= 0.96;
    if (energy < 0.02 && !dropped) {
        dropped = true;
        for (std::size_t i = 0; i < 3; ++i) {
            dropVY[i] = -20;  // a small upward flick before the fall
            dropY[i] = 0;
        }
    } else if (energy >= 0.02 && dropped) {
        dropped = false;
    }
    if (dropped) {
        for (std::size_t i = 0; i < 3; ++i) {
            dropVY[i] += 180 * dt;
            dropY[i] += dt * dropVY[i];
            dropY[i] = std::min(dropY[i], 30.0);
        }
    }
}

void JugglingAct::draw(Canvas& c, ParticleSystem& particles) {
    constexpr double twoPi = 2 * std::numbers::pi;
    drawActFleaMac(c, "juggling", x, y - 12, 1, phase, 0.9, false);
    const double handY = y - 12 - 18;
    const double h = std::min(throwBoost + 0.5, 1.0);
    const auto& colors = Colors::bunting;
    for (std::size_t i = 0; i < 3; ++i) {
        const double t = std::fmod(phase + ballOffsets[i] * twoPi, twoPi);
        const double bx = x + 18 * std::sin(t);
        const double arc = std::sin(t / 2);
        const double by = dropped ? handY + dropY[i] : handY - (35 * h + 20) * arc * arc;
        c.setFillColor(colors[i % colors.size()]);
        c.fillEllipse(Rect{bx - 4, by - 4, 8, 8});
        if (!dropped && throwBoost > 0.3 && random_->uniform(0, 1) < 0.3) particles.sparkle(bx, by, 1);
    }
}

}  // namespace tw
