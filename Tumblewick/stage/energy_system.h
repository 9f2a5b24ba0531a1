#pragma once
// The energy meter the user winds by working: clicks, key presses and mouse
// movement add energy, which drains steadily; user activity also becomes XP for
// every custom flea.
#include <cstdint>
#include <set>

#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "platform/canvas.h"

namespace tw {

class EnergySystem {
   public:
    explicit EnergySystem(CustomFleaXPSink& xp) : xp_(&xp) {}

    double value = 0;  // raw energy, within 0...maxValue after each poll
    double maxValue = 100;
    double decay = 25;      // lost per second
    double smooth = 0;      // displayed energy, chasing value
    int newKeys = 0;        // key presses since the last clearEvents()
    bool clicked = false;   // a click since the last clearEvents()
    double mouseSpeed = 0;  // points the mouse moved between the last two polls

    // One frame of movement, decay and smoothing; currentMouse in screen coordinates.
    void poll(double dt, Point currentMouse);
    void addClick();
    void clearEvents();
    void addKeypress();
    // One key press for every key in keysDown that was not down at the last call.
    void updateKeyState(const std::set<std::uint16_t>& keysDown);
    double normalized() const { return smooth / maxValue; }

   private:
    CustomFleaXPSink* xp_;
    Point prevMouse_{0, 0};
    std::set<std::uint16_t> pressedKeys_;
};

}  // namespace tw
