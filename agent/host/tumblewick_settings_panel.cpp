#include "agent/host/tumblewick_settings_panel.h"

namespace tw {

bool TumblewickSettingsPanel::boolFor(const Defaults& standard, const settings::Setting<bool>& setting) {
    if (!standard.hasKey(setting.key)) return setting.fallback;
    return standard.boolForKey(setting.key);
}

void TumblewickSettingsPanel::setBool(Defaults& standard, bool value, const std::string& key) {
    standard.setBool(key, value);
}

}  // namespace tw
