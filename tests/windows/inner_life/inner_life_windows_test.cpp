#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollBar>
#include <cstdlib>
#include <filesystem>

#include "windows/companions/tumblewick_dialogue_inspector.h"
#include "windows/companions/tumblewick_recent_thoughts_panel.h"
#include "windows/inner_life/inner_life_panel.h"
#include "windows/inner_life/timeline_window.h"

namespace tw {
namespace {

using agent_host::Bond;
using agent_host::RecentLine;

const Date now{5000.0};

const std::vector<RecentLine> feed{{"Pip", "wander_to", "Over there.", Date{1000.0}},
                                   {"Zing", "attempt_bit", "Hup!", Date{4700.0}},
                                   {"Pip", "perform_signature", "Ta-da <b>!</b>", Date{4990.0}}};

void saveImage(QWidget& window, const char* name) {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "inner_life";
    std::filesystem::create_directories(folder);
    window.grab().save(QString::fromStdString((folder / name).string()));
}

// A decision log that answers only when the test says so, in any order.
struct LateBonds {
    struct Asked {
        std::string flea;
        TumblewickInnerLifePanel::BondsAnswer done;
    };
    std::vector<Asked> asked;

    void answer(std::size_t index, std::vector<Bond> bonds) { asked.at(index).done(std::move(bonds)); }
};

TumblewickInnerLifePanel::Source fakeSource(LateBonds& bonds) {
    return {.content =
                [](const std::string& fleaId, const std::string& displayName) {
                    std::optional<FleaAgentScheduler::DiagnosticEntry> entry;
                    if (fleaId == "Pip")
                        entry = FleaAgentScheduler::DiagnosticEntry{
                            .flea_id = "Pip",
                            .recent_intent_actions = {"wander_to", "sit", "perform_signature"},
                            .mood = MoodDimensions::make(0.8, 0.3, 0.95, 0.6)};
                    return innerLifeContent(entry, feed, fleaId, displayName, now);
                },
            .topBonds =
                [&bonds](const std::string& fleaId, int limit, TumblewickInnerLifePanel::BondsAnswer done) {
                    EXPECT_EQ(limit, 3);
                    bonds.asked.push_back({fleaId, std::move(done)});
                }};
}

TEST(InnerLifeWindowsTest, TimelineShowsOneFleaAndRefreshesOnlyWhileShown) {
    TumblewickTimelineWindow window([](const std::string& fleaId, const std::string& displayName) {
        return timelineContent(feed, fleaId, displayName, now);
    });
    EXPECT_FALSE(window.refreshTimer().isActive());
    window.show("Pip", "Pip");
    window.show("Pip", "Pip");
    ASSERT_TRUE(window.isVisible());
    EXPECT_TRUE(window.refreshTimer().isActive());
    EXPECT_EQ(window.windowTitle().toStdString(), "Timeline \u00B7 Pip");
    EXPECT_EQ(window.shown().summary, "Today: 2 lines \u00B7 1 \u2728");
    EXPECT_EQ(window.shown().buckets[59], 1);
    const std::string text = window.shownText().toStdString();
    EXPECT_NE(text.find("signature  \u00B7  10s ago\n  Ta-da <b>!</b>"), std::string::npos)
        << "flea text stays plain";
    EXPECT_LT(text.find("Ta-da"), text.find("wander to  \u00B7  1h ago"));
    saveImage(window, "timeline.png");

    window.resize(540, 190);  // the list now scrolls; a refresh keeps the reader's place
    QScrollBar& scroll = *window.findChild<QTextEdit*>()->verticalScrollBar();
    scroll.setValue(scroll.maximum());
    ASSERT_GT(scroll.value(), 0);
    window.refresh();
    EXPECT_EQ(scroll.value(), scroll.maximum());

    // A long name is cut to the window rather than widening it.
    const QString longName(120, QLatin1Char('W'));
    window.show("Pip", longName.toStdString());
    EXPECT_EQ(window.width(), 540);
    EXPECT_TRUE(window.headerText().endsWith(QChar(0x2026))) << window.headerText().toStdString();

    window.show("Zing", "Zing");
    EXPECT_EQ(window.headerText(), "Zing");
    EXPECT_EQ(window.windowTitle().toStdString(), "Timeline \u00B7 Zing");
    EXPECT_EQ(window.shown().buckets[54], 1);
    window.close();
    EXPECT_FALSE(window.refreshTimer().isActive());
}

TEST(InnerLifeWindowsTest, InnerLifeDropsBondsAnsweredForAFleaNoLongerShown) {
    LateBonds bonds;
    std::vector<std::string> timelines;
    TumblewickInnerLifePanel panel(fakeSource(bonds),
                                   [&](const std::string& fleaId, const std::string& displayName) {
                                       timelines.push_back(fleaId + "/" + displayName);
                                   });
    panel.show("Pip", "Pip");
    panel.show("Pip", "Pip");
    ASSERT_TRUE(panel.isVisible());
    EXPECT_TRUE(panel.refreshTimer().isActive());
    EXPECT_EQ(panel.windowTitle().toStdString(), "Inner Life \u2014 Pip");
    EXPECT_EQ(panel.shown().voice, "Recent: wander_to \u00B7 sit \u00B7 perform_signature");
    EXPECT_EQ(panel.shown().mood.joy, 0.95);
    EXPECT_NE(panel.linesText().toStdString().find("perform_signature  \u00B7  10s ago\n  Ta-da <b>!</b>"),
              std::string::npos);
    EXPECT_TRUE(panel.bondsText().isEmpty()) << "nothing until the log answers";
    bonds.answer(1, {{"Zing", 4}, {"Dot", 2}});
    bonds.answer(0, {{"Zing", 3}});
    EXPECT_EQ(panel.bondsText().toStdString(), "Bonds: Zing \u00D73") << "the last answer for the shown flea";
    saveImage(panel, "inner_life.png");

    panel.show("Nova", "Nova");
    EXPECT_TRUE(panel.bondsText().isEmpty()) << "the previous flea's bonds go with it";
    EXPECT_EQ(panel.shown().voice, "Recent: \u2014");
    EXPECT_EQ(panel.shown().mood, MoodDimensions{});
    bonds.answer(0, {{"Zing", 9}});  // late, for Pip
    EXPECT_TRUE(panel.bondsText().isEmpty());
    ASSERT_EQ(bonds.asked.back().flea, "Nova");
    bonds.answer(bonds.asked.size() - 1, {});
    EXPECT_EQ(panel.bondsText().toStdString(), "Bonds: none yet");

    panel.timelineButton().click();
    EXPECT_EQ(timelines, std::vector<std::string>{"Nova/Nova"});
    panel.show("Nova", std::string(120, 'W'));
    EXPECT_EQ(panel.width(), 320) << "a long name is cut, not the panel widened";
    panel.close();
    EXPECT_FALSE(panel.refreshTimer().isActive());

    auto late = std::make_unique<TumblewickInnerLifePanel>(fakeSource(bonds), nullptr);
    late->show("Pip", "Pip");
    auto answer = bonds.asked.back().done;
    late.reset();
    answer({{"Zing", 1}});  // the panel is gone: nothing to fill in, no crash
}

// Long texts in the voice and bonds rows are cut inside the 16-point insets; the panel
// keeps its 320 × 360 and the rows below stay where they were.
TEST(InnerLifeWindowsTest, LongTextsAreCutInsideTheInsetsAndThePanelKeepsItsSize) {
    const std::string longAction = "perform_signature_with_a_very_long_name";
    const struct {
        const char* what;
        std::vector<std::string> actions;
        std::vector<Bond> bonds;
        bool cut;
    } cases[] = {
        {"short texts", {"sit"}, {{"Zing", 4}}, false},
        {"a long action list", std::vector<std::string>(7, longAction), {{"Zing", 4}}, true},
        {"long bonds", {"rest"}, {{std::string(60, 'W'), 12}, {"Dot", 2}, {std::string(40, 'M'), 1}}, true},
    };
    std::vector<std::string> actions;
    TumblewickInnerLifePanel panel(
        {.content =
             [&actions](const std::string& fleaId, const std::string& displayName) {
                 return innerLifeContent(
                     FleaAgentScheduler::DiagnosticEntry{.flea_id = fleaId, .recent_intent_actions = actions},
                     feed, fleaId, displayName, now);
             },
         .topBonds =
             [&](const std::string&, int, TumblewickInnerLifePanel::BondsAnswer done) {
                 for (const auto& c : cases)
                     if (c.actions == actions) done(c.bonds);
             }},
        nullptr);
    const QRect button = panel.timelineButton().geometry();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        actions = c.actions;
        panel.show("Pip", "Pip");
        QCoreApplication::processEvents();  // layout requests settle as they would on screen
        EXPECT_EQ(panel.size(), QSize(320, 360));
        EXPECT_EQ(panel.timelineButton().geometry(), button);
        bool cut = false;
        for (const ElidedLabel* label : {&panel.voiceLabel(), &panel.bondsLabel()}) {
            EXPECT_EQ(label->geometry().left(), 16);
            EXPECT_EQ(label->geometry().right(), 320 - 16 - 1);
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), 288)
                << label->text().toStdString();
            if (label->text() == label->fullText()) continue;
            cut = true;
            EXPECT_TRUE(label->text().endsWith(QChar(0x2026))) << label->text().toStdString();
        }
        EXPECT_EQ(cut, c.cut);
    }
    saveImage(panel, "inner_life_long_texts.png");
}

// Minimised and brought back by the window manager, from a taskbar or a pager, each window
// that refreshes does so at once and goes on doing so; minimised, it refreshes for nobody.
TEST(RefreshingWindowsTest, RefreshAgainOnceTheWindowManagerRestoresThem) {
    int reads = 0;
    TumblewickRecentThoughtsPanel thoughts([&] {
        ++reads;
        return recentThoughtsRuns(feed, {}, {}, now);
    });
    TumblewickDialogueInspector inspector([&] {
        ++reads;
        return dialogueInspectorContent({}, now);
    });
    LateBonds bonds;
    TumblewickInnerLifePanel::Source source = fakeSource(bonds);
    source.content = [&reads, content = source.content](const std::string& fleaId, const std::string& name) {
        ++reads;
        return content(fleaId, name);
    };
    TumblewickInnerLifePanel innerLife(source, nullptr);
    TumblewickTimelineWindow timeline([&](const std::string& fleaId, const std::string& displayName) {
        ++reads;
        return timelineContent(feed, fleaId, displayName, now);
    });
    const struct {
        QWidget& window;
        const QTimer& timer;
        std::function<void()> open;
    } windows[] = {
        {thoughts, thoughts.refreshTimer(), [&] { thoughts.toggle(); }},
        {inspector, inspector.refreshTimer(), [&] { inspector.toggle(); }},
        {innerLife, innerLife.refreshTimer(), [&] { innerLife.show("Pip", "Pip"); }},
        {timeline, timeline.refreshTimer(), [&] { timeline.show("Pip", "Pip"); }},
    };
    for (const auto& w : windows) {
        w.open();
        SCOPED_TRACE(w.window.windowTitle().toStdString());
        ASSERT_TRUE(w.timer.isActive());
        w.window.setWindowState(Qt::WindowMinimized);
        EXPECT_FALSE(w.timer.isActive()) << "minimised";
        const int before = reads;
        w.window.setWindowState(Qt::WindowNoState);
        EXPECT_TRUE(w.timer.isActive()) << "restored";
        EXPECT_GT(reads, before) << "refreshed as it comes back";
        w.window.close();
        EXPECT_FALSE(w.timer.isActive()) << "closed";
    }
}

}  // namespace
}  // namespace tw
