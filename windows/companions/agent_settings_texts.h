#pragma once
// Texts of the agent settings window, kept apart from the widget so they are tested directly.
#include <cstdint>
#include <string>

namespace tw {

// "<1 KB" below one kilobyte, otherwise kilobytes with one decimal ("3.4 KB").
std::string cacheSizeText(std::uint64_t bytes);
// "Dialogue cache: 12 entries · 3.4 KB on disk".
std::string cacheStatsLine(std::size_t entries, std::uint64_t bytes);
// The hotkeys worth knowing here, named as the hotkey table binds them: the desktop's,
// then on a line of their own the tray menu's, which work only while it is open.
std::string agentSettingsHotkeysText();

}  // namespace tw
