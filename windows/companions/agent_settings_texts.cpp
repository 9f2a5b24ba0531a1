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
    std::string text = "Hotkeys:";
    for (const auto& [hotkey, what] : shown) text += "  " + hotkeyLabel(hotkey) + " " + what;
    return text;
}

}  // namespace tw
