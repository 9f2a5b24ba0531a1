#include "agent/host/tumblewick_settings_panel.h"

namespace tw {

bool TumblewickSettingsPanel::boolFor(const Defaults& standard, const std::string& key, bool fallback) {
    if (!standard.hasKey(key)) return fallback;
    return standard.boolForKey(key);
}

void TumblewickSettingsPanel::setBool(Defaults& standard, bool value, const std::string& key) {
    standard.setBool(key, value);
}

}  // namespace tw
