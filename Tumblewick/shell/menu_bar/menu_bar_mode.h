#pragma once
// Menu-bar mode's switch and its effect on the strip. The strip hides only while the
// mode is on and a system tray shows our item: without a tray the user would have no
// way back to the circus, so the strip stays. Trays come and go (one often starts after
// the app at login): the strip follows, and the log says so once per change.
#include <functional>
#include <optional>
#include <string>

#include "platform/defaults.h"
#include "platform/notification_center.h"

namespace tw {

inline constexpr const char* MENU_BAR_MODE_CHANGED_NOTIFICATION = "tumbleWickMenuBarModeChanged";

// Stores the negation of the mode and posts the change once. Returns the new value.
bool toggleMenuBarMode(Defaults& defaults, NotificationCenter& notifications);

// Whether the strip is hidden: only with the mode on and a tray present.
bool menuBarModeHidesStrip(bool modeOn, bool trayPresent);
// The log line for finding the tray present or not while the mode is on, after it was
// last found `trayBefore` (nullopt: never yet); nothing when that has not changed, nor
// for the usual launch beside a tray.
std::optional<std::string> menuBarTrayNote(std::optional<bool> trayBefore, bool trayNow);

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
    // A tray came or went: with the mode on, the strip hides or comes back.
    void trayChanged();

   private:
    bool hideStrip();

    const Defaults& defaults_;
    NotificationCenter& notifications_;
    std::function<bool()> trayAvailable_;
    Strip strip_;
    NotificationCenter::Token token_ = 0;
    std::optional<bool> trayWhileOn_;  // the tray as last found with the mode on
};

}  // namespace tw
