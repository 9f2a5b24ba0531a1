#pragma once
// The one place that builds the companion windows the shell opens: the hotkeys' four
// toggles and what the tray menu opens. Each window is built on first use and reused.
#include <functional>
#include <string>

#include "Tumblewick/shell/shell_hotkey_actions.h"
#include "platform/x11/above_strip_placement.h"

namespace tw {

class AppServices;

struct WindowEntries {
    CompanionToggles hotkeys;
    // One flea from the inside; `fleaId` is the agent id the host uses.
    std::function<void(const std::string& fleaId, const std::string& displayName)> showInnerLife;
    std::function<void()> showTroupeWindow;
    std::function<void()> toggleAgentSettings;
};

// The returned functions refer to `services`, which must outlive them. The titled
// windows open clear of the strip that `stripTop` finds.
WindowEntries makeWindowEntries(AppServices& services, StripTop stripTop = {});

}  // namespace tw
