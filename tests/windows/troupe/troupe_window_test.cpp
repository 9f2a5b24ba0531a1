#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "platform/settings_keys.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/settings/view/troupe_settings_view.h"
#include "windows/troupe/tumblewick_troupe_window.h"

namespace tw {
namespace {

using testing::RecordingSink;
using testing::TroupeHarness;

std::filesystem::path outputFolder() {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "troupe";
    std::filesystem::create_directories(folder);
    return folder;
}

MacCustomFlea someFlea() {
    return MacCustomFlea{Uuid::random(), "Flea", 1, "crown", "trapeze", Date{700000000.0}, 0, {}};
}

// The switch is the only writer of the setting the colony reads before each troupe event.
TEST(TroupeSettingsViewTest, TheSwitchWritesTheSettingAndTheColonyThenReportsToTheLog) {
    TroupeHarness troupe;
    const auto store = troupe.open();
    auto sink = std::make_shared<RecordingSink>();
    store->addSink(sink);
    MacCustomFleaStore colony(troupe.defaults, troupe.clock, troupe.mainQueue, store.get());

    TroupeSettingsView view(*store);
    EXPECT_FALSE(view.dualWriteSwitch()->isChecked());
    // The form is headed as the cross-device settings; nothing syncs yet, so it says
    // where the log is, and names no server.
    std::vector<std::string> texts;
    for (const QLabel* label : view.findChildren<QLabel*>()) {
        texts.push_back(label->text().toStdString());
        EXPECT_FALSE(label->text().contains("://")) << texts.back();
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Cross-device sync",
                         "The troupe log stays on this computer: nothing is sent to a server or synced to "
                         "other devices.",
                     }));
    EXPECT_EQ(view.whereLine()->text().toStdString(), TroupeSettingsView::whereText);
    colony.add(someFlea());
    EXPECT_TRUE(sink->events.empty());

    const struct {
        bool on;
        std::size_t eventsAfterAdd;
    } flips[] = {{true, 1}, {false, 1}, {true, 2}};
    for (const auto& flip : flips) {
        view.dualWriteSwitch()->click();
        ASSERT_TRUE(troupe.defaults.hasKey(settings::troupeDualWrite.key));
        EXPECT_EQ(troupe.defaults.boolForKey(settings::troupeDualWrite.key), flip.on);
        colony.add(someFlea());
        ASSERT_EQ(sink->events.size(), flip.eventsAfterAdd) << flip.on;
        EXPECT_EQ(sink->events.back().kind, TroupeEventKind::fleaCreated);
    }
    ASSERT_TRUE(store->drain());
    EXPECT_GT(std::filesystem::file_size(troupe.logFile()), 0u);
    // A form opened later starts from what was stored.
    EXPECT_TRUE(TroupeSettingsView(*store).dualWriteSwitch()->isChecked());
}

TEST(TumblewickTroupeWindowTest, IsBuiltOnceAndComesBackWhereTheUserLeftIt) {
    TroupeHarness troupe;
    auto store = troupe.open();
    TumblewickTroupeWindow troupeWindow(*store);
    EXPECT_EQ(troupeWindow.window(), nullptr);

    troupeWindow.show();
    QWidget* window = troupeWindow.window();
    ASSERT_NE(window, nullptr);
    TroupeSettingsView* view = troupeWindow.settingsView();
    troupeWindow.show();
    EXPECT_EQ(troupeWindow.window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), "Cross-device troupe");
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(window->size(), QSize(480, 640));
    window->grab().save(QString::fromStdString((outputFolder() / "troupe_window.png").string()));

    // Shorter than the form, which keeps its size inside and scrolls.
    window->resize(100, 300);
    EXPECT_EQ(window->height(), 300);  // as narrow as the form and its scroll bar
    EXPECT_GE(view->height(), 540);
    EXPECT_GE(view->width(), 420);
    window->move(40, 30);
    window->close();
    EXPECT_FALSE(window->isVisible());
    troupeWindow.show();
    EXPECT_EQ(troupeWindow.window(), window);
    EXPECT_EQ(troupeWindow.settingsView(), view);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->pos(), QPoint(40, 30));
}

}  // namespace
}  // namespace tw
