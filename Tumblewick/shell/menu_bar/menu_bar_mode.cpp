#include "Tumblewick/shell/menu_bar/menu_bar_mode.h"

#include "Tumblewick/shell/configuration/configuration.h"
#include "platform/log.h"
#include "platform/settings_keys.h"

namespace tw {

bool toggleMenuBarMode(Defaults& defaults, NotificationCenter& notifications) {
    const bool enabled = !defaults.boolForKey(settings::menuBarMode.key);
    defaults.setBool(settings::menuBarMode.key, enabled);
    notifications.post(MENU_BAR_MODE_CHANGED_NOTIFICATION);
    return enabled;
}

bool menuBarModeHidesStrip(bool modeOn, bool trayPresent) { return modeOn && trayPresent; }

std::optional<std::string> menuBarTrayNote(std::optional<bool> trayBefore, bool trayNow) {
    if (trayBefore == trayNow) return std::nullopt;
    if (!trayNow) {
        if (!trayBefore)
            return "Menu-bar mode is on, but this desktop has no system tray: the strip stays on screen.";
        return "The system tray went away: the strip is back on screen until a tray returns.";
    }
    if (!trayBefore) return std::nullopt;
    return "A system tray is here: menu-bar mode hides the strip.";
}

MenuBarModeStrip::MenuBarModeStrip(const Defaults& defaults, NotificationCenter& notifications,
                                   std::function<bool()> trayAvailable, Strip strip)
    : defaults_(defaults),
      notifications_(notifications),
      trayAvailable_(std::move(trayAvailable)),
      strip_(std::move(strip)) {
    token_ = notifications_.addObserver(MENU_BAR_MODE_CHANGED_NOTIFICATION, [this](const Notification&) {
        if (hideStrip()) {
            strip_.hide();
        } else {
            strip_.front();
        }
    });
}

MenuBarModeStrip::~MenuBarModeStrip() { notifications_.removeObserver(token_); }

void MenuBarModeStrip::applyAtLaunch() {
    if (hideStrip()) strip_.hide();
}

void MenuBarModeStrip::trayChanged() {
    // With the mode off the strip is on screen whatever the tray does.
    if (!resolvedMenuBarModeEnabled(defaults_)) return;
    if (hideStrip()) {
        strip_.hide();
    } else {
        strip_.front();
    }
}

bool MenuBarModeStrip::hideStrip() {
    const bool modeOn = resolvedMenuBarModeEnabled(defaults_);
    if (!modeOn) return false;
    const bool tray = trayAvailable_();
    if (const auto note = menuBarTrayNote(trayWhileOn_, tray)) log::info(*note);
    trayWhileOn_ = tray;
    return menuBarModeHidesStrip(modeOn, tray);
}

}  // namespace tw
