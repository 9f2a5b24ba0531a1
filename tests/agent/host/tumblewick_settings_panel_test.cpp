#include "agent/host/tumblewick_settings_panel.h"

#include <gtest/gtest.h>

#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

TEST(TumblewickSettingsPanelTest, StoredValuesReadAsBooleansAndAbsentKeysAsTheFallback) {
    testing::InMemoryDefaults defaults;
    const std::string key = settings::showThoughts.key;
    const settings::Setting<bool> onByDefault{settings::showThoughts.key, true};
    const settings::Setting<bool> offByDefault{settings::showThoughts.key, false};
    EXPECT_TRUE(TumblewickSettingsPanel::boolFor(defaults, onByDefault));
    EXPECT_FALSE(TumblewickSettingsPanel::boolFor(defaults, offByDefault));
    TumblewickSettingsPanel::setBool(defaults, false, key);
    EXPECT_FALSE(TumblewickSettingsPanel::boolFor(defaults, onByDefault));
    defaults.setString(key, "yes");  // the defaults' own reading of a stored text
    EXPECT_TRUE(TumblewickSettingsPanel::boolFor(defaults, offByDefault));
    defaults.setInteger(key, 0);
    EXPECT_FALSE(TumblewickSettingsPanel::boolFor(defaults, onByDefault));
    defaults.remove(key);
    EXPECT_TRUE(TumblewickSettingsPanel::boolFor(defaults, onByDefault));
}

}  // namespace
}  // namespace tw
