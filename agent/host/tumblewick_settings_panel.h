#pragma once
// The four agent-display preferences of the agent settings panel: their keys in the
// standard user defaults and the reader the strip and the toast use on every read.
// A key that is absent reads as the caller's fallback (always true in the app).
#include <string>

#include "platform/defaults.h"

namespace tw {

struct TumblewickSettingsPanel {
    static constexpr const char* autoSpotlightKey = "tw_v3_auto_spotlight";
    static constexpr const char* showThoughtsKey = "tw_v3_show_thoughts";
    static constexpr const char* showMoodBarsKey = "tw_v3_show_mood_bars";
    static constexpr const char* signatureChimeKey = "tw_v3_signature_chime";

    // The defaults' Boolean reading of the stored value, or `fallback` when none is
    // stored. No caching: a change shows on the next read.
    static bool boolFor(const Defaults& standard, const std::string& key, bool fallback);
    static void setBool(Defaults& standard, bool value, const std::string& key);
};

}  // namespace tw
