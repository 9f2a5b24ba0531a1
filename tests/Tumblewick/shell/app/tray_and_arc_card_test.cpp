// The tray item's menu, popover and mode switch on real widgets, the story-arc card's
// panel, and the watched key-value file.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <filesystem>
#include <fstream>

#include "../../stage/stage_fakes.h"
#include "Tumblewick/shell/arc_overlay_view.h"
#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/menu_bar/menu_bar_mode.h"
#include "Tumblewick/shell/menu_bar_icon.h"
#include "Tumblewick/shell/transparent_window.h"
#include "Tumblewick/shell/tumblewick_menu_bar_controller.h"
#include "Tumblewick/stage/qt/tumblewick_view.h"
#include "platform/log.h"
#include "platform/qt/qt_key_value_store.h"
#include "platform/settings_keys.h"

namespace tw {
namespace {

struct RecordingCompanions final : HotkeyActions {
    std::vector<std::string> calls;
    void toggleRecentThoughts() override { calls.push_back("recent thoughts"); }
    void toggleWatchPanel() override { calls.push_back("watch"); }
    void toggleDragDownLog() override { calls.push_back("drag-down log"); }
    void toggleDialogueInspector() override { calls.push_back("dialogue inspector"); }
    std::optional<std::filesystem::path> writeChapterToDesktop() override {
        calls.push_back("chapter");
        return std::nullopt;
    }
    std::optional<std::filesystem::path> writeShareCardToDesktop() override {
        calls.push_back("share card");
        return std::nullopt;
    }
};

// A controller on fakes, with a real stage in its popover.
struct TrayRig {
    explicit TrayRig(bool withStage = false) {
        MacCustomFlea mabel;
        mabel.id = *Uuid::parse("2F1C0E4A-0000-4000-8000-00000000BEEF");
        mabel.name = "Mabel";
        fleas.list.push_back(mabel);
        controller = std::make_unique<TumblewickMenuBarController>(
            1.25,
            TumblewickMenuBarController::Services{
                .defaults = defaults,
                .notifications = notifications,
                .mainQueue = queue,
                .agentHost = host,
                .customFleas = fleas,
                .companions = companions,
                .decisionsInLast = [this](double) { return decisions; },
                .showInnerLife = [this](const std::string& id,
                                        const std::string& name) { innerLife.push_back(id + "/" + name); },
                .showTroupeWindow = [this] { companions.calls.push_back("troupe"); },
                .toggleAgentSettings = {},
                .quit = [this] { ++quits; },
                .makeStageView =
                    withStage
                        ? std::function<TumblewickView*(QSize, CustomFleaXPSink&)>(
                              [this](QSize size, CustomFleaXPSink& popoverXP) {
                                  return new TumblewickView(size, {queue, defaults, host, fleas, popoverXP});
                              })
                        : nullptr,
            });
    }
    QAction* action(QMenu& menu, const QString& title) {
        for (QAction* a : menu.actions())
            if (a->text().section(QLatin1Char('\t'), 0, 0) == title) return a;
        ADD_FAILURE() << "no item " << title.toStdString();
        return nullptr;
    }

    testing::InMemoryDefaults defaults;
    NotificationCenter notifications;
    testing::ManualMainQueue queue;
    testing::FakeStageAgentHost host;
    testing::FakeCustomFleas fleas;
    testing::RecordingXPSink xp;
    RecordingCompanions companions;
    std::int64_t decisions = 0;
    std::vector<std::string> innerLife;
    int quits = 0;
    std::unique_ptr<TumblewickMenuBarController> controller;
};

void save(const QImage& image, const char* name) {
    if (const char* dir = std::getenv("TW_TEST_OUTPUT_DIR")) {
        QDir().mkpath(dir);
        image.save(QString(dir) + "/" + name);
    }
}

TEST(TrayMenu, ItemsCarryTheirKeysAndEachReachesItsWindowOnTheNextTurn) {
    TrayRig rig;
    QMenu& menu = rig.controller->contextMenu();
    QStringList titles;
    for (QAction* a : menu.actions()) {
        EXPECT_TRUE(a->shortcut().isEmpty()) << "the menu binds no keys of its own";
        titles << (a->isSeparator() ? "-" : a->text().replace(QLatin1Char('\t'), " ~ "));
    }
    EXPECT_EQ(
        titles.join(" | ").toStdString(),
        "Show Tumblewick | - | Recent thoughts… ~ Shift+Super+T | Export today's chapter… ~ Shift+Super+D | "
        "Save share card… ~ Shift+Super+S | Watch the Troupe… ~ Shift+Super+F | Drag-down log ~ "
        "Shift+Super+L | Dialogue inspector… ~ Shift+Super+I | Agent settings… ~ Shift+Super+, | Spotlight | "
        "Inner Life | - | Cross-device troupe… | - | Turn on Menu Bar Mode | - | Quit Tumblewick ~ Super+Q");

    for (const char* title :
         {"Recent thoughts…", "Export today's chapter…", "Save share card…", "Watch the Troupe…",
          "Drag-down log", "Dialogue inspector…", "Cross-device troupe…"})
        rig.action(menu, title)->trigger();
    EXPECT_TRUE(rig.companions.calls.empty());  // the actions return at once
    rig.queue.runPending();
    EXPECT_EQ(rig.companions.calls,
              (std::vector<std::string>{"recent thoughts", "chapter", "share card", "watch", "drag-down log",
                                        "dialogue inspector", "troupe"}));

    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    rig.action(menu, "Agent settings…")->trigger();
    rig.queue.runPending();
    log::setSinkForTesting(nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("agent settings window is not part of this build"), std::string::npos);

    rig.action(menu, "Quit Tumblewick")->trigger();
    EXPECT_EQ(rig.quits, 1);
}

TEST(TrayMenu, WhileOpenSuperQQuitsAndShiftSuperCommaOpensSettingsButABareQDoesNothing) {
    TrayRig rig;
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    // What the X server hands the open menu: the key's X code and keysym, and the modifiers.
    const auto press = [&](QMenu& menu, int key, Qt::KeyboardModifiers modifiers, quint32 xKeycode,
                           quint32 keysym) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, xKeycode, keysym, 0);
        QCoreApplication::sendEvent(&menu, &event);
        return event.isAccepted();
    };
    QMenu& menu = rig.controller->contextMenu();
    menu.popup(QPoint(0, 0));
    press(menu, Qt::Key_Q, Qt::NoModifier, 24, XK_q);
    press(menu, Qt::Key_Q, Qt::ShiftModifier | Qt::MetaModifier, 24, XK_Q);
    press(menu, Qt::Key_Comma, Qt::MetaModifier, 59, XK_comma);
    rig.queue.runPending();
    EXPECT_EQ(rig.quits, 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(menu.isVisible());

    press(rig.controller->spotlightSubmenu(), Qt::Key_Less, Qt::ShiftModifier | Qt::MetaModifier, 59,
          XK_less);
    EXPECT_FALSE(menu.isVisible());  // a chosen item closes the menu, as a click does
    rig.queue.runPending();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("agent settings window is not part of this build"), std::string::npos);

    menu.popup(QPoint(0, 0));
    press(menu, Qt::Key_Q, Qt::MetaModifier, 24, XK_q);
    rig.queue.runPending();
    EXPECT_EQ(rig.quits, 1);
    EXPECT_FALSE(menu.isVisible());
    log::setSinkForTesting(nullptr);
}

TEST(TrayMenu, SubmenusAreRebuiltOnOpeningAndAttendOrOpenTheChosenFlea) {
    TrayRig rig;
    rig.host.attended = "Rex";
    emit rig.controller->contextMenu().aboutToShow();
    QMenu& spotlight = rig.controller->spotlightSubmenu();
    QStringList checked;
    for (QAction* a : spotlight.actions())
        if (a->isChecked()) checked << a->text();
    EXPECT_EQ(checked, QStringList{"Rex"});
    EXPECT_EQ(spotlight.actions().size(), 11);  // (none), -, seven names, -, Mabel

    rig.action(spotlight, "Mabel (custom)")->trigger();
    rig.action(spotlight, "(none)")->trigger();
    rig.action(rig.controller->innerLifeSubmenu(), "Pip")->trigger();
    rig.action(rig.controller->innerLifeSubmenu(), "Mabel (custom)")->trigger();
    rig.queue.runPending();
    EXPECT_EQ(rig.host.attendCalls, (std::vector<std::optional<std::string>>{
                                        "2F1C0E4A-0000-4000-8000-00000000BEEF", std::nullopt}));
    EXPECT_EQ(rig.innerLife,
              (std::vector<std::string>{"Pip/Pip", "2F1C0E4A-0000-4000-8000-00000000BEEF/Mabel"}));

    // Opening again rebuilds rather than appends.
    rig.fleas.list.clear();
    emit rig.controller->contextMenu().aboutToShow();
    EXPECT_EQ(rig.controller->spotlightSubmenu().actions().size(), 9);
}

TEST(TrayMode, TogglingPostsOnceAndHidesTheStripOnlyWhenATrayShowsTheItem) {
    for (const bool tray : {true, false}) {
        TrayRig rig;
        TransparentWindow strip(stripGeometry({0, 0, 1920, 1080}, 1.0));
        strip.orderFront();
        int posts = 0;
        rig.notifications.addObserver(MENU_BAR_MODE_CHANGED_NOTIFICATION,
                                      [&](const Notification&) { ++posts; });
        MenuBarModeStrip observer(rig.defaults, rig.notifications, [&] { return tray; },
                                  {.hide = [&] { strip.hide(); }, .front = [&] { strip.orderFront(); }});
        observer.applyAtLaunch();
        EXPECT_TRUE(strip.isVisible());

        log::setSinkForTesting([](std::string_view) {});
        rig.action(rig.controller->contextMenu(), "Turn on Menu Bar Mode")->trigger();
        EXPECT_EQ(posts, 1);
        EXPECT_TRUE(rig.defaults.boolForKey(settings::menuBarMode.key));
        EXPECT_EQ(strip.isVisible(), !tray) << tray;

        emit rig.controller->contextMenu().aboutToShow();
        rig.action(rig.controller->contextMenu(), "Turn off Menu Bar Mode")->trigger();
        log::setSinkForTesting(nullptr);
        EXPECT_EQ(posts, 2);
        EXPECT_TRUE(strip.isVisible());
    }
}

TEST(TrayPopover, OpensAndClosesWithASecondStageAndCarriesTheCountOnTheIcon) {
    TrayRig rig(true);
    ASSERT_NE(rig.controller->circusView(), nullptr);
    EXPECT_EQ(rig.controller->popover().size(), QSize(380, 150));
    EXPECT_EQ(rig.controller->circusView()->size(), QSize(380, 150));

    rig.controller->togglePopover();
    EXPECT_TRUE(rig.controller->popover().isVisible());
    save(rig.controller->popover().grab().toImage(), "tray_popover.png");
    rig.controller->togglePopover();
    EXPECT_FALSE(rig.controller->popover().isVisible());

    rig.decisions = 12;
    rig.queue.advance(5);
    EXPECT_TRUE(rig.controller->statusItem().toolTip().endsWith("12 lines spoken in the last minute"));
    // The badge is red pixels in the top-right corner of the icon.
    const QImage plain = paintMenuBarIcon(64, ""), badged = paintMenuBarIcon(64, "12");
    EXPECT_EQ(qAlpha(plain.pixel(58, 4)), 0);
    EXPECT_GT(qRed(badged.pixel(58, 4)), 150);
    save(badged, "tray_icon_12.png");

    emit rig.controller->contextMenu().aboutToShow();
    rig.controller->contextMenu().adjustSize();
    save(rig.controller->contextMenu().grab().toImage(), "tray_menu.png");
    rig.controller->spotlightSubmenu().adjustSize();
    save(rig.controller->spotlightSubmenu().grab().toImage(), "tray_spotlight.png");
}

TEST(ArcCardPanel, CutsTheHeadlineToOneLineAndTheBodyToTwo) {
    ArcOverlayView view(arcCardFrame(Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(view.geometry(), QRect(1576, 24, 320, 88));
    EXPECT_TRUE(view.windowFlags() & Qt::WindowDoesNotAcceptFocus);
    view.configure(
        ArcCard{2, "The night the cannon sang and the whole troupe stood still to listen",
                "Pip has been practising the high wire every evening, and tonight, for the first time, "
                "the whole colony came out to watch her cross without a net."});
    EXPECT_EQ(view.dayBadge().text(), "DAY 3 OF 7");
    EXPECT_FALSE(view.headlineLabel().text().contains('\n'));
    EXPECT_TRUE(view.headlineLabel().text().endsWith(QChar(0x2026)));
    EXPECT_EQ(view.bodyLabel().text().count('\n'), 1);
    EXPECT_TRUE(view.bodyLabel().text().endsWith(QChar(0x2026)));
    EXPECT_EQ(view.bodyLabel().textFormat(), Qt::PlainText);
    save(view.grab().toImage(), "arc_card.png");

    view.configure(ArcCard{0, "Opening night", "Short."});
    EXPECT_EQ(view.headlineLabel().text(), "Opening night");
    EXPECT_EQ(view.bodyLabel().text(), "Short.");

    // Words wider than a line break anywhere and never widen the card, which would
    // then reach off screen and take clicks meant for other windows.
    view.show();
    for (const int length : {60, 1000, 5000}) {
        const std::string word(length, 'W');
        view.configure(ArcCard{0, word, word + "\nand\nmore"});
        QApplication::processEvents();
        EXPECT_EQ(view.geometry(), QRect(1576, 24, 320, 88)) << length;
        const QStringList body = view.bodyLabel().text().split('\n');
        EXPECT_EQ(body.size(), 2) << length;
        EXPECT_TRUE(body.last().endsWith(QChar(0x2026))) << length;
        const int lineWidth = view.width() - 28;
        for (const QString& line : body)
            EXPECT_LE(view.bodyLabel().fontMetrics().horizontalAdvance(line), lineWidth) << length;
        EXPECT_LE(view.headlineLabel().fontMetrics().horizontalAdvance(view.headlineLabel().text()),
                  lineWidth);
    }
    save(view.grab().toImage(), "arc_card_long_word.png");
}

// Waits for the watcher's event, at most a few seconds.
bool processEventsUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

TEST(QtKeyValueStore, HearsTheFileAppearAndChangeAndIgnoresARewriteWithTheSameValues) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("tw_qt_kv_" + std::to_string(::getpid())) / "data";
    std::filesystem::remove_all(dir.parent_path());
    const auto file = dir / "CloudKeyValueStore.json";
    QtKeyValueStore store(file);  // creates the folder to watch it
    int changes = 0;
    store.observeExternalChanges([&] { ++changes; });

    const auto replace = [&](const std::string& text) {  // as sync tools do: a new file renamed over
        std::ofstream(dir / "incoming.tmp") << text;
        std::filesystem::rename(dir / "incoming.tmp", file);
    };
    replace(R"({"tw_arc_active_headline": "Big night"})");
    ASSERT_TRUE(processEventsUntil([&] { return changes == 1; }));
    EXPECT_EQ(store.stringForKey("tw_arc_active_headline"), "Big night");

    replace(R"({"tw_arc_active_headline": "Day two", "tw_arc_active_day": 1})");
    ASSERT_TRUE(processEventsUntil([&] { return changes == 2; }));
    EXPECT_EQ(store.longLongForKey("tw_arc_active_day"), 1);

    // The same values in another order: a reload finds nothing new to tell.
    replace(R"({"tw_arc_active_day": 1, "tw_arc_active_headline": "Day two"})");
    store.synchronize();
    EXPECT_EQ(changes, 2);
    std::filesystem::remove_all(dir.parent_path());
}

}  // namespace
}  // namespace tw
