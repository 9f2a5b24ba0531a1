#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <functional>

#include "platform/testing/manual_main_queue.h"
#include "platform/x11/input_hub.h"
#include "tests/windows/companions/companions_test_support.h"
#include "windows/companions/drag_down_chip_row.h"
#include "windows/companions/drag_down_log_texts.h"
#include "windows/companions/tumblewick_drag_down_log.h"

namespace tw {
namespace {

using agent_host::RecentLine;

std::vector<RecentLine> feedOf(int count) {
    std::vector<RecentLine> feed;
    for (int i = 0; i < count; ++i)
        feed.push_back({"flea" + std::to_string(i), "applaud", "line " + std::to_string(i), Date{i * 60.0}});
    return feed;
}

TEST(DragDownLogTextsTest, AgesInWholeMinutesAndTheNewestSixFirst) {
    const std::pair<double, const char*> ages[] = {{-5, "now"},      {59, "now"},    {60, "1m"},
                                                   {61 * 60, "61m"}, {7200, "120m"}, {NAN, "now"}};
    for (const auto& [seconds, text] : ages) EXPECT_EQ(dragDownAgeText(seconds), text) << seconds;

    EXPECT_TRUE(dragDownChips({}, Date{0}).empty());
    const auto chips = dragDownChips(feedOf(10), Date{9 * 60.0 + 30});
    ASSERT_EQ(chips.size(), 6u);
    EXPECT_EQ(chips.front(), (DragDownChip{"flea9", "line 9", "now"}));
    EXPECT_EQ(chips.back(), (DragDownChip{"flea4", "line 4", "5m"}));
    EXPECT_EQ(dragDownHintText(), "Shift+Super+L close \u00B7 click anywhere to dismiss");
}

TEST(DragDownChipRowTest, SixChipsFitFrom1366PixelsAndFewerOnlyWhenSixCannotAtTheirNarrowest) {
    const std::vector<int> long6(6, 400), short6(6, 90), mixed{400, 150, 250, 280, 200, 190};
    struct Case {
        int screen;
        std::vector<int> natural;
        std::vector<int> widths;
    };
    const Case cases[] = {
        {1920, long6, std::vector<int>(6, 280)},
        {1920, short6, std::vector<int>(6, 180)},
        {1920, {300, 100}, {280, 180}},
        {1366, long6, std::vector<int>(6, 213)},  // all narrowed alike
        {1366, short6, std::vector<int>(6, 180)},
        {1366, mixed, {236, 180, 236, 236, 200, 190}},  // the widest give way first
        {800, long6, std::vector<int>(4, 182)},
        {800, short6, std::vector<int>(4, 180)},
        {200, long6, {}},
    };
    for (const Case& c : cases) {
        const int row = c.screen - 48;  // the log's side margins
        const std::vector<int> widths = dragDownChipWidths(c.natural, row);
        EXPECT_EQ(widths, c.widths) << c.screen;
        int used = 0;
        for (int width : widths) used += width + dragDownChipSpacing;
        EXPECT_LE(used - dragDownChipSpacing, row) << c.screen;
    }
}

TEST(DragDownLogTest, ShowsChipsOrTheQuietLineAndRefreshesOnlyWhileShown) {
    testing::ManualMainQueue queue;
    InputHub hub(queue);
    std::vector<DragDownChip> chips{
        {"Zing", "Ta-da <b>!</b>", "now"},
        {"Pip",
         "A very long line that goes on and on about the trapeze, the crowd, the lights and the "
         "small matter of landing on one's feet after all that",
         "3m"}};
    TumblewickDragDownLog log([&] { return chips; }, hub);
    EXPECT_EQ(log.view(), nullptr) << "built on first show";

    log.toggle();
    ASSERT_NE(log.view(), nullptr);
    EXPECT_TRUE(log.isShown());
    EXPECT_TRUE(log.view()->isVisible());
    EXPECT_TRUE(log.refreshTimer().isActive());
    EXPECT_TRUE(log.dismissMonitorInstalled());
    const QStringList shown = log.view()->chipTexts();
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0], QStringLiteral("Zing|Ta-da <b>!</b>|now")) << "newest on the left, plain text";
    const QString longLine = shown[1].section(QLatin1Char('|'), 1, 1);
    EXPECT_EQ(longLine.count(QLatin1Char('\n')), 1) << longLine.toStdString();
    EXPECT_TRUE(longLine.endsWith(QChar(0x2026))) << longLine.toStdString();
    EXPECT_GE(log.view()->height(), DragDownLogView::minimumHeight);

    log.view()->resize(1200, log.view()->height());
    log.view()->grab().save(
        QString::fromStdString((testing::companionsOutputFolder() / "drag_down_log.png").string()));

    // On a narrow screen the row takes fewer chips and never widens the log.
    log.view()->resize(800, log.view()->height());
    log.view()->refresh(std::vector<DragDownChip>(6, chips[1]));
    EXPECT_EQ(log.view()->chipTexts().size(), 4);
    EXPECT_LE(log.view()->minimumSizeHint().width(), 800);

    log.toggle();
    EXPECT_FALSE(log.isShown());
    EXPECT_FALSE(log.refreshTimer().isActive());
    EXPECT_FALSE(log.dismissMonitorInstalled());

    chips.clear();
    log.toggle();
    EXPECT_TRUE(log.isShown());
    EXPECT_TRUE(log.view()->chipTexts().isEmpty());
    EXPECT_EQ(log.view()->quietText(), QStringLiteral("The troupe is quiet."));
}

// Where Qt cannot set a window's opacity (and warns on every try) the log only slides.
// Its window is never asked for an opacity at all, so this holds on a platform that
// would not warn either: the slides run to their end, watched all the way.
TEST(DragDownLogTest, WithoutWindowOpacityItSlidesInAndOutWithoutAskingForIt) {
    static QStringList warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            if (message.contains("opacity")) warnings << message;
        });
    testing::ManualMainQueue queue;
    InputHub hub(queue);
    TumblewickDragDownLog log([] { return std::vector<DragDownChip>{}; }, hub,
                              WindowFading::withoutWindowOpacity);
    log.show();
    ASSERT_NE(log.view()->windowHandle(), nullptr);
    QStringList asked;  // every opacity asked of the window or seen on it
    QObject watching;   // ends the watch before `asked` goes
    QObject::connect(log.view()->windowHandle(), &QWindow::opacityChanged, &watching,
                     [&asked](qreal level) { asked << QString::number(level); });
    const auto slideUntil = [&](const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (log.view()->windowOpacity() != 1.0) asked << QString::number(log.view()->windowOpacity());
        }
        return done();
    };
    const int shownTop = QGuiApplication::primaryScreen()->geometry().top() + TumblewickDragDownLog::topGap;
    for (int round = 0; round < 2; ++round) {  // the second on the window the platform made
        EXPECT_TRUE(slideUntil([&] { return log.view()->y() == shownTop; })) << round;
        log.hide();
        EXPECT_TRUE(slideUntil([&] { return !log.view()->isVisible(); })) << round;
        log.show();
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(asked.isEmpty()) << asked.join(", ").toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join("; ").toStdString();
}

// The press reaches the log through the one input hub, paired across its two paths.
TEST(DragDownLogTest, ALeftPressElsewhereDismissesItButOneOnOurOwnWindowsDoesNot) {
    enum class Press {
        ownWindow,
        ownWindowLocalCopyFirst,
        rightClickElsewhere,
        leftClickElsewhere,
        throughToOtherApp
    };
    const struct {
        Press press;
        bool staysShown;
    } cases[] = {{Press::ownWindow, true},
                 {Press::ownWindowLocalCopyFirst, true},
                 {Press::rightClickElsewhere, true},
                 {Press::leftClickElsewhere, false},
                 {Press::throughToOtherApp, false}};
    for (const auto& c : cases) {
        testing::ManualMainQueue queue;
        InputHub hub(queue);
        hub.setGlobalInputAvailable();
        // Our windows take the left 100 pixels of the screen.
        hub.setLocalTargetProbe(
            [](InputHub::PressKind, std::optional<Point> at) { return at && at->x < 100; });
        TumblewickDragDownLog log([] { return std::vector<DragDownChip>{}; }, hub);
        log.show();

        const std::uint64_t time = 5000;
        switch (c.press) {
            case Press::ownWindow:
                hub.globalButton(1, {50, 400}, 1080, time);
                hub.localButton(1, {10, 10}, 300, false, time);
                break;
            case Press::ownWindowLocalCopyFirst:
                hub.localButton(1, {10, 10}, 300, false, time);
                hub.globalButton(1, {50, 400}, 1080, time);
                break;
            case Press::rightClickElsewhere:
                hub.globalButton(3, {800, 400}, 1080, time);
                break;
            case Press::leftClickElsewhere:
                hub.globalButton(1, {800, 400}, 1080, time);
                break;
            case Press::throughToOtherApp:  // may have been ours, but no copy of it came
                hub.globalButton(1, {50, 400}, 1080, time);
                break;
        }
        queue.advance(1.0);
        EXPECT_EQ(log.isShown(), c.staysShown) << static_cast<int>(c.press);
        EXPECT_EQ(log.dismissMonitorInstalled(), c.staysShown) << static_cast<int>(c.press);
    }
}

}  // namespace
}  // namespace tw
