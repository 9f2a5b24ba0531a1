#include "windows/companions/agent_settings_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/testing/in_memory_defaults.h"
#include "windows/companions/agent_settings_texts.h"
#include "windows/settings_keys/tumblewick_settings_panel.h"

namespace tw {
namespace {

std::filesystem::path outputFolder() {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "companions";
    std::filesystem::create_directories(folder);
    return folder;
}

TEST(AgentSettingsTextsTest, CacheSizeRoundsToOneDecimalAndShowsSmallFilesAsUnderOneKilobyte) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {{0, "<1 KB"}, {1023, "<1 KB"}, {1024, "1.0 KB"}, {1536, "1.5 KB"}, {3482, "3.4 KB"}};
    for (const auto& c : cases) EXPECT_EQ(cacheSizeText(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(cacheStatsLine(12, 3482), "Dialogue cache: 12 entries \u00B7 3.4 KB on disk");
}

TEST(AgentSettingsWindowTest, SwitchesStartFromTheDefaultsAndEachWritesItsOwnKey) {
    testing::InMemoryDefaults defaults;
    defaults.setBool(TumblewickSettingsPanel::showMoodBarsKey, false);
    std::vector<bool> hostTold;
    AgentSettingsWindow window(defaults, {[&](bool on) { hostTold.push_back(on); }, [] { return "line"; }});

    const char* keys[] = {TumblewickSettingsPanel::autoSpotlightKey, TumblewickSettingsPanel::showThoughtsKey,
                          TumblewickSettingsPanel::showMoodBarsKey,
                          TumblewickSettingsPanel::signatureChimeKey};
    for (const char* key : keys) {
        QCheckBox* box = window.checkBox(key);
        ASSERT_NE(box, nullptr) << key;
        const bool stored = std::string(key) != TumblewickSettingsPanel::showMoodBarsKey;
        EXPECT_EQ(box->isChecked(), stored) << key;
        box->click();
        EXPECT_EQ(defaults.boolForKey(key), !stored) << key;
    }
    // Only the auto-spotlight switch reaches the host.
    EXPECT_EQ(hostTold, std::vector<bool>{false});
}

TEST(AgentSettingsWindowTest, TogglesOncePerCallAndRefreshesOnlyWhileShown) {
    testing::InMemoryDefaults defaults;
    int asked = 0;
    AgentSettingsWindow window(defaults, {{}, [&] {
                                              ++asked;
                                              return cacheStatsLine(12, 3482);
                                          }});
    EXPECT_FALSE(window.refreshTimer().isActive());
    window.toggle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.refreshTimer().isActive());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window.cacheLine()->text().toStdString(), "Dialogue cache: 12 entries \u00B7 3.4 KB on disk");
    window.grab().save(QString::fromStdString((outputFolder() / "agent_settings.png").string()));
    window.toggle();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.refreshTimer().isActive());
}

}  // namespace
}  // namespace tw
