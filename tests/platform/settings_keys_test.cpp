#include "platform/settings_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace tw {
namespace {

// Settings files written by earlier versions name these keys, and users have lived
// with these defaults: a rename or a flipped default would quietly change their
// choice, so each is spelled out here once more on purpose.
TEST(SettingsKeysTest, KeysAndDefaultsStayAsStoredFilesHaveThem) {
    struct Row {
        settings::Setting<bool> setting;
        const char* key;
        bool fallback;
    };
    const Row rows[] = {
        {settings::autoSpotlight, "tw_v3_auto_spotlight", true},
        {settings::showThoughts, "tw_v3_show_thoughts", true},
        {settings::showMoodBars, "tw_v3_show_mood_bars", true},
        {settings::signatureChime, "tw_v3_signature_chime", true},
        {settings::checkForUpdates, "TumblewickCheckForUpdates", true},
        {settings::deterministicMode, "TumblewickDeterministicMode", false},
        {settings::menuBarMode, "TumblewickMenuBarMode", false},
        {settings::telemetryOptIn, "tw_telemetry_opted_in", false},
        {settings::troupeDualWrite, "tw_troupe_dual_write_enabled", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(std::string(row.setting.key), row.key);
        EXPECT_EQ(row.setting.fallback, row.fallback) << row.key;
    }
    EXPECT_EQ(std::string(settings::uiScale.key), "TumblewickUIScale");
    EXPECT_EQ(settings::uiScale.fallback, 0);
    EXPECT_EQ(std::string(settings::deterministicSeed.key), "TumblewickDeterministicSeed");
    EXPECT_EQ(settings::deterministicSeed.fallback, 424242);
}

}  // namespace
}  // namespace tw
