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

bool MenuBarModeStrip::hideStrip() {
    if (!resolvedMenuBarModeEnabled(defaults_)) return false;
    if (trayAvailable_()) return true;
    if (!saidNoTray_) {
        saidNoTray_ = true;
        log::info("Menu-bar mode is on, but this desktop has no system tray: the strip stays on screen.");
    }
    return false;
}

}  // namespace tw
