#include "agent/host/tumblewick_settings_panel.h"

#include <gtest/gtest.h>

#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

TEST(TumblewickSettingsPanelTest, StoredValuesReadAsBooleansAndAbsentKeysAsTheFallback) {
    testing::InMemoryDefaults defaults;
    const std::string key = TumblewickSettingsPanel::showThoughtsKey;
    EXPECT_TRUE(TumblewickSettingsPanel::boolFor(defaults, key, true));
    EXPECT_FALSE(TumblewickSettingsPanel::boolFor(defaults, key, false));
    TumblewickSettingsPanel::setBool(defaults, false, key);
    EXPECT_FALSE(TumblewickSettingsPanel::boolFor(defaults, key, true));
    defaults.setString(key, "yes");  // the defaults' own reading of a stored text
    EXPECT_TRUE(TumblewickSettingsPanel::boolFor(defaults, key, false));
    defaults.setInteger(key, 0);
    EXPECT_FALSE(TumblewickSettingsPanel::boolFor(defaults, key, true));
    defaults.remove(key);
    EXPECT_TRUE(TumblewickSettingsPanel::boolFor(defaults, key, true));
}

}  // namespace
}  // namespace tw
