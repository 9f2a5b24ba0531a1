#pragma once
// Every user setting the app keeps in the standard defaults, in one table: its key,
// the type stored under it, what an absent key reads as, and who reads it. The keys
// are what earlier versions stored: never rename one. Records the app keeps for
// itself (ids, caches, last-shown times) stay with their one owner.
#include <array>
#include <cstdint>
#include <string_view>

namespace tw::settings {

template <class T>
struct Setting {
    const char* key;
    T fallback;  // what an absent key reads as
};

// clang-format off
//                                                       key                             absent reads as
inline constexpr Setting<bool>         autoSpotlight    {"tw_v3_auto_spotlight",         true};
inline constexpr Setting<bool>         showThoughts     {"tw_v3_show_thoughts",          true};
inline constexpr Setting<bool>         showMoodBars     {"tw_v3_show_mood_bars",         true};
inline constexpr Setting<bool>         signatureChime   {"tw_v3_signature_chime",        true};
inline constexpr Setting<double>       uiScale          {"TumblewickUIScale",            0};  // fitted to the screen
inline constexpr Setting<bool>         deterministicMode{"TumblewickDeterministicMode",  false};
inline constexpr Setting<std::int64_t> deterministicSeed{"TumblewickDeterministicSeed",  424242};
inline constexpr Setting<bool>         checkForUpdates  {"TumblewickCheckForUpdates",    true};  // only a stored false is off
inline constexpr Setting<bool>         menuBarMode      {"TumblewickMenuBarMode",        false};
inline constexpr Setting<bool>         telemetryOptIn   {"tw_telemetry_opted_in",        false};
inline constexpr Setting<bool>         troupeDualWrite  {"tw_troupe_dual_write_enabled", false};
// clang-format on
//
// Read by:
//   autoSpotlight                     the agent host; the agent settings window writes
//   showThoughts, showMoodBars        the strip painter; the agent settings window writes
//   signatureChime                    the signature toast; the agent settings window writes
//   uiScale, deterministicMode        the configuration's resolvers, the settings panel,
//                                     the controls menu, the diagnostics report
//   deterministicSeed                 the same, and the stage until it is given one
//   checkForUpdates                   the configuration (for the stage); the settings panel
//   menuBarMode                       the configuration; the tray's mode switch writes
//   telemetryOptIn                    the telemetry client
//   troupeDualWrite                   the custom-flea store; the troupe settings window writes

// No two settings share a key.
static_assert([] {
    const std::array<std::string_view, 11> keys{
        autoSpotlight.key, showThoughts.key,      showMoodBars.key,      signatureChime.key,
        uiScale.key,       deterministicMode.key, deterministicSeed.key, checkForUpdates.key,
        menuBarMode.key,   telemetryOptIn.key,    troupeDualWrite.key};
    for (std::size_t i = 0; i < keys.size(); ++i)
        for (std::size_t j = i + 1; j < keys.size(); ++j)
            if (keys[i] == keys[j]) return false;
    return true;
}());

}  // namespace tw::settings
