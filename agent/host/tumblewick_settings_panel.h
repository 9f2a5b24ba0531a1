#pragma once
// How the strip, the toast and the agent settings window read and write the four
// agent-display settings (their keys and defaults are in platform/settings_keys.h).
#include <string>

#include "platform/defaults.h"
#include "platform/settings_keys.h"

namespace tw {

struct TumblewickSettingsPanel {
    // The defaults' Boolean reading of the stored value, or the setting's default when
    // none is stored. No caching: a change shows on the next read.
    static bool boolFor(const Defaults& standard, const settings::Setting<bool>& setting);
    static void setBool(Defaults& standard, bool value, const std::string& key);
};

}  // namespace tw
