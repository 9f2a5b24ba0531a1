#include "windows/companions/agent_settings_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "agent/host/tumblewick_settings_panel.h"
#include "dialogue/dialogue_cache.h"
#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "tests/windows/companions/companions_test_support.h"
#include "windows/companions/agent_settings_texts.h"
#include "windows/companions/dialogue_cache_stats.h"

namespace tw {
namespace {

TEST(AgentSettingsTextsTest, CacheSizeRoundsToOneDecimalAndShowsSmallFilesAsUnderOneKilobyte) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {{0, "<1 KB"}, {1023, "<1 KB"}, {1024, "1.0 KB"}, {1536, "1.5 KB"}, {3482, "3.4 KB"}};
    for (const auto& c : cases) EXPECT_EQ(cacheSizeText(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(cacheStatsLine(12, 3482), "Dialogue cache: 12 entries \u00B7 3.4 KB on disk");
    EXPECT_EQ(agentSettingsHotkeysText(),
              "Hotkeys:  Shift+Super+T thoughts  Shift+Super+D export  Shift+Super+S share  Shift+Super+F "
              "full-screen\nWhile the tray menu is open:  Shift+Super+, settings");
}

// The count comes from the cache's thread; the line is written on the main thread only.
TEST(AgentSettingsTextsTest, CacheLineCountsTheCacheAndSizesItsOwnFileOnTheMainQueue) {
    const auto file = testing::companionsOutputFolder() / "DialogueCache.json";
    std::filesystem::remove(file);
    testing::ManualClock clock;
    testing::ManualMainQueue queue;
    for (const bool withFile : {false, true}) {
        DialogueCache cache(withFile ? std::optional(file) : std::nullopt, clock,
                            std::make_unique<InlineSerialExecutor>());
        cache.set("twd:Pip:1", AgentDialogueLine{.text = "Hup!"});
        cache.set("twd:Zing:2", AgentDialogueLine{.text = "Whee!"});
        std::vector<std::string> shown;
        readDialogueCacheStats(cache, queue, [&](std::string line) { shown.push_back(std::move(line)); });
        EXPECT_TRUE(shown.empty()) << "not on the cache's thread";
        queue.runPending();
        const auto bytes = withFile ? std::filesystem::file_size(file) : 0;
        EXPECT_EQ(withFile, bytes > 0);
        EXPECT_EQ(shown, std::vector<std::string>{"Dialogue cache: 2 entries \u00B7 " + cacheSizeText(bytes) +
                                                  " on disk"});
    }
}

TEST(AgentSettingsWindowTest, SwitchesStartFromTheDefaultsAndEachWritesItsOwnKey) {
    testing::InMemoryDefaults defaults;
    defaults.setBool(settings::showMoodBars.key, false);
    std::vector<bool> hostTold;
    AgentSettingsWindow window(defaults, {[&](bool on) { hostTold.push_back(on); }, {}});

    const char* keys[] = {settings::autoSpotlight.key, settings::showThoughts.key, settings::showMoodBars.key,
                          settings::signatureChime.key};
    for (const char* key : keys) {
        QCheckBox* box = window.checkBox(key);
        ASSERT_NE(box, nullptr) << key;
        const bool stored = std::string(key) != settings::showMoodBars.key;
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
    AgentSettingsWindow window(defaults, {{}, [&](const std::function<void(std::string)>& show) {
                                              ++asked;
                                              show(cacheStatsLine(12, 3482));
                                          }});
    EXPECT_FALSE(window.refreshTimer().isActive());
    window.toggle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.refreshTimer().isActive());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(window.cacheLine()->text().toStdString(), "Dialogue cache: 12 entries \u00B7 3.4 KB on disk");
    window.grab().save(
        QString::fromStdString((testing::companionsOutputFolder() / "agent_settings.png").string()));
    window.toggle();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.refreshTimer().isActive());
}

// Run at each display scale (ctest sets QT_SCALE_FACTOR): the panel stays 340 wide,
// never below 220 high, and no line is cut, the wrapped hotkeys hint least of all.
TEST(AgentSettingsWindowTest, EveryLineShowsWholeAtThisScale) {
    testing::InMemoryDefaults defaults;
    AgentSettingsWindow window(defaults, {{}, [](const std::function<void(std::string)>& show) {
                                              show(cacheStatsLine(12345, 3482000));
                                          }});
    window.toggle();
    const QSize size = window.size();
    std::cout << "agent settings at " << window.devicePixelRatio() << ": " << size.width() << "x"
              << size.height() << "\n";
    EXPECT_EQ(size.width(), 340);
    EXPECT_GE(size.height(), 220);
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "a fixed panel";
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QString name = child->property("text").toString();
        EXPECT_TRUE(window.rect().contains(child->geometry())) << name.toStdString();
        const int needs =
            child->hasHeightForWidth() ? child->heightForWidth(child->width()) : child->sizeHint().height();
        EXPECT_GE(child->height(), needs) << name.toStdString();
    }
    window.grab().save(QString::fromStdString(
        (testing::companionsOutputFolder() /
         ("agent_settings_" + std::to_string(qRound(window.devicePixelRatio() * 100)) + ".png"))
            .string()));
}

}  // namespace
}  // namespace tw
