#include "Tumblewick/stage/energy_system.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/log.h"
#include "platform/number_format.h"

namespace tw {

void EnergySystem::poll(double dt, Point currentMouse) {
    mouseSpeed = std::hypot(currentMouse.x - prevMouse_.x, currentMouse.y - prevMouse_.y);
    prevMouse_ = currentMouse;
    // The threshold is per frame: slow movement adds nothing.
    if (mouseSpeed > 3) value += mouseSpeed * 0.08 * dt * 30;
    value = value - dt * decay;
    value = std::min(value, maxValue);
    if (value < 0) value = 0;
    smooth += std::min(8 * dt, 1.0) * (value - smooth);
}

void EnergySystem::addClick() {
    value = std::min(value + 18, maxValue);
    clicked = true;
    xp_->addXPToAll(2);
    log::plain("🔔 Click added! Energy now: " + formatDouble(value));
}

void EnergySystem::clearEvents() {
    clicked = false;
    newKeys = 0;
}

void EnergySystem::addKeypress() {
    value = std::min(value + 6, maxValue);
    newKeys += 1;
    xp_->addXPToAll(1);
}

void EnergySystem::updateKeyState(const std::set<std::uint16_t>& keysDown) {
    for (auto key : keysDown) {
        if (!pressedKeys_.contains(key)) addKeypress();
    }
    pressedKeys_ = keysDown;
}

}  // namespace tw
