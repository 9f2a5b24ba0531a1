#include "windows/companions/agent_settings_texts.h"

#include <cstdio>
#include <utility>

#include "platform/hotkeys.h"

namespace tw {

std::string cacheSizeText(std::uint64_t bytes) {
    const double kilobytes = static_cast<double>(bytes) / 1024.0;
    if (kilobytes < 1.0) return "<1 KB";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f KB", kilobytes);
    return buffer;
}

std::string cacheStatsLine(std::size_t entries, std::uint64_t bytes) {
    return "Dialogue cache: " + std::to_string(entries) + " entries \u00B7 " + cacheSizeText(bytes) +
           " on disk";
}

std::string agentSettingsHotkeysText() {
    const std::pair<Hotkey, const char*> shown[] = {{Hotkey::recentThoughts, "thoughts"},
                                                    {Hotkey::chapter, "export"},
                                                    {Hotkey::shareCard, "share"},
                                                    {Hotkey::watchPanel, "full-screen"},
                                                    {Hotkey::agentSettings, "settings"}};
    // A tray menu's hotkey is answered only while that menu is open: pressed elsewhere it
    // reaches the window in front, so it is named apart from the desktop's.
    const auto scope = [](Hotkey hotkey) {
        for (const HotkeyBinding& binding : hotkeyBindings)
            if (binding.hotkey == hotkey) return binding.scope;
        return HotkeyScope::desktop;
    };
    std::string desktop = "Hotkeys:";
    std::string trayMenu = "While the tray menu is open:";
    for (const auto& [hotkey, what] : shown)
        (scope(hotkey) == HotkeyScope::desktop ? desktop : trayMenu) +=
            "  " + hotkeyLabel(hotkey) + " " + what;
    return desktop + "\n" + trayMenu;
}

}  // namespace tw
