#pragma once
// Menu-bar mode's switch and its effect on the strip. The strip hides only while the
// mode is on and a system tray shows our item: without a tray the user would have no
// way back to the circus, so the strip stays (and the log says why, once).
#include <functional>

#include "platform/defaults.h"
#include "platform/notification_center.h"

namespace tw {

inline constexpr const char* MENU_BAR_MODE_CHANGED_NOTIFICATION = "tumbleWickMenuBarModeChanged";

// Stores the negation of the mode and posts the change once. Returns the new value.
bool toggleMenuBarMode(Defaults& defaults, NotificationCenter& notifications);

class MenuBarModeStrip {
   public:
    struct Strip {
        std::function<void()> hide;   // order out; the window stays alive
        std::function<void()> front;  // show and raise again
    };
    // Every reference must outlive this object; `trayAvailable` is asked at each change.
    MenuBarModeStrip(const Defaults& defaults, NotificationCenter& notifications,
                     std::function<bool()> trayAvailable, Strip strip);
    ~MenuBarModeStrip();
    MenuBarModeStrip(const MenuBarModeStrip&) = delete;
    MenuBarModeStrip& operator=(const MenuBarModeStrip&) = delete;

    // At launch the strip is already in front: hide it when the mode asks for it.
    void applyAtLaunch();

   private:
    bool hideStrip();

    const Defaults& defaults_;
    NotificationCenter& notifications_;
    std::function<bool()> trayAvailable_;
    Strip strip_;
    NotificationCenter::Token token_ = 0;
    bool saidNoTray_ = false;
};

}  // namespace tw
