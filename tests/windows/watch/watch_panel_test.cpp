#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "platform/testing/manual_clock.h"
#include "platform/testing/recording_canvas.h"
#include "windows/watch/tumblewick_watch_panel.h"

namespace tw {
namespace {

using testing::ManualClock;

std::filesystem::path outputFolder() {
    const char* root = std::getenv("TW_TEST_OUTPUT_DIR");
    const auto folder = std::filesystem::path(root ? root : "/tmp") / "watch";
    std::filesystem::create_directories(folder);
    return folder;
}

// A moment at the middle of a 6-second slot: the subtitle at full strength.
constexpr double kSlotMiddle = 6 * 120000000.0 + 3;

watch::Scene busyScene() {
    watch::Scene scene;
    FleaAgentScheduler::DiagnosticEntry pip;
    pip.flea_id = "Pip";
    pip.mood = MoodDimensions{.confidence = 1.3, .nerves = 0.25, .joy = -0.2, .pride = 0.5};
    pip.recent_intent_actions = {"rest", "wander_to"};
    FleaAgentScheduler::DiagnosticEntry rex;
    rex.flea_id = "Rex";
    scene.diagnostics = {pip, rex};
    scene.attendedFleaID = "Pip";
    scene.recentLines = {{"Zing", "wander_to", "Up we go.", Date{}},
                         {"Pip", "perform_signature", "Behold, <b>muscles</b>!", Date{}}};
    return scene;
}

const RecordedOp* findText(const std::vector<RecordedOp>& ops, const std::string& text) {
    for (const auto& op : ops)
        if (op.kind == RecordedOp::Kind::text && op.text == text) return &op;
    return nullptr;
}

TEST(WatchPanelTexts, HintAndSubtitleFollowTheClock) {
    const struct { double elapsed, alpha; } hints[] = {{0, 1}, {3, 1}, {3.75, 0.5}, {4.5, 0}, {60, 0}};
    for (const auto& c : hints) EXPECT_DOUBLE_EQ(watch::hintAlpha(c.elapsed), c.alpha) << c.elapsed;

    const double slot = 6 * 120000000.0;  // a whole number of slots, divisible by 20 and by 3
    const struct {
        std::size_t count;
        double t;
        std::optional<watch::Subtitle> shown;
    } lines[] = {
        {0, slot + 3, std::nullopt},
        {25, slot + 3, watch::Subtitle{5, 1}},            // only the newest 20 take part
        {25, slot + 19 * 6 + 3, watch::Subtitle{24, 1}},  // ... walking forward
        {25, slot + 20 * 6 + 3, watch::Subtitle{5, 1}},   // ... and wrapping round
        {3, slot + 0.3, watch::Subtitle{0, 0.5}},         // fading in
        {3, slot + 18 + 5.6, watch::Subtitle{0, 0.5}},    // the same line 18 s on, fading out
        {3, slot + 6 + 3, watch::Subtitle{1, 1}},
    };
    for (const auto& c : lines) {
        const auto shown = watch::subtitleAt(c.count, c.t);
        ASSERT_EQ(shown.has_value(), c.shown.has_value()) << c.count << " @ " << c.t;
        if (!shown) continue;
        EXPECT_EQ(shown->index, c.shown->index) << c.count << " @ " << c.t;
        EXPECT_NEAR(shown->alpha, c.shown->alpha, 1e-6) << c.count << " @ " << c.t;
    }
}

TEST(WatchPanelDrawing, DrawsTheGridTheSubtitleAndTheHintFromTheScene) {
    const watch::Frame frame{{1920, 1080}, kSlotMiddle + 6, 0.5};  // Pip's line
    std::mt19937_64 random(7);
    const auto sparkles = watch::makeSparkles(random);
    RecordingCanvas canvas;
    watch::drawFrame(canvas, frame, busyScene(), sparkles);
    const auto ops = canvas.ops();

    for (const char* text : {watch::title, watch::tagLine, "wander_to", "Behold, <b>muscles</b>!"})
        EXPECT_NE(findText(ops, text), nullptr) << text;
    // The attended flea's name is brighter and marked; the others dimmer.
    for (std::string_view name : residentsListed) {
        const RecordedOp* op = findText(ops, std::string(name));
        ASSERT_NE(op, nullptr) << name;
        EXPECT_DOUBLE_EQ(op->textStyle.color.alpha, name == "Pip" ? 0.95 : 0.7) << name;
    }
    EXPECT_NE(findText(ops, watch::attendedMark), nullptr);
    // Fleas without actions (or not registered) show an em dash.
    EXPECT_EQ(std::count_if(ops.begin(), ops.end(),
                            [](const RecordedOp& op) { return op.text == watch::noAction; }),
              6);
    // The speaker's name is spelled out letter by letter, upper case.
    std::string spelled;
    for (const auto& op : ops)
        if (op.kind == RecordedOp::Kind::text && op.text.size() == 1 && op.textStyle.font.size == 14)
            spelled += op.text;
    EXPECT_EQ(spelled, "PIP");
    const RecordedOp* hint = findText(ops, watch::hint);
    ASSERT_NE(hint, nullptr);
    EXPECT_DOUBLE_EQ(hint->textStyle.color.alpha, 0.25);

    // Pip's bars: confidence above 1 fills the whole track, negative joy leaves it empty.
    const double pipX = watch::columnCentre(960 + watch::drift(frame.t).x, 1);
    std::vector<Rect> pipBars;
    for (const auto& op : ops)
        if (op.kind == RecordedOp::Kind::fillRect && op.color.alpha == 0.85 &&
            std::abs(op.rect.x - pipX) <= 32)
            pipBars.push_back(op.rect);
    ASSERT_EQ(pipBars.size(), 3u);  // joy drew no bar
    const struct {
        double left, height;
    } expected[] = {{pipX - 32, 36}, {pipX - 32 + 36, 18}, {pipX - 32 + 54, 9}};
    for (std::size_t i = 0; i < pipBars.size(); ++i) {
        EXPECT_NEAR(pipBars[i].x, expected[i].left, 1e-9) << i;
        EXPECT_DOUBLE_EQ(pipBars[i].height, expected[i].height) << i;
        // Feet level at the grid's centre less 4, y downward.
        EXPECT_NEAR(pipBars[i].y + pipBars[i].height, 1080 - (540 + 80 + watch::drift(frame.t).y - 4), 1e-9)
            << i;
    }
    EXPECT_EQ(std::count_if(ops.begin(), ops.end(),
                            [](const RecordedOp& op) { return op.kind == RecordedOp::Kind::fillEllipse; }),
              28);

    // A quiet troupe with nobody attended, once the hint has faded.
    RecordingCanvas quiet;
    watch::drawFrame(quiet, {{1920, 1080}, kSlotMiddle, 0}, {}, sparkles);
    EXPECT_NE(findText(quiet.ops(), watch::quietLine), nullptr);
    EXPECT_EQ(findText(quiet.ops(), watch::attendedMark), nullptr);
    EXPECT_EQ(findText(quiet.ops(), watch::hint), nullptr);
    EXPECT_DOUBLE_EQ(findText(quiet.ops(), "Pip")->textStyle.color.alpha, 0.7);

    QImage image(1280, 720, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QPainterCanvas real(painter);
    watch::drawFrame(real, {{1280, 720}, kSlotMiddle, 1}, busyScene(), sparkles);
    painter.end();
    image.save(QString::fromStdString((outputFolder() / "watch_frame.png").string()));
}

// The title, the quiet line and the subtitle are drawn light, the rest as the view
// says; and light reaches the screen thinner than regular.
TEST(WatchPanelDrawing, TitleQuietLineAndSubtitleAreLight) {
    std::mt19937_64 random(7);
    const auto sparkles = watch::makeSparkles(random);
    RecordingCanvas busy;
    watch::drawFrame(busy, {{1920, 1080}, kSlotMiddle + 6, 1}, busyScene(), sparkles);
    RecordingCanvas quiet;
    watch::drawFrame(quiet, {{1920, 1080}, kSlotMiddle, 0}, {}, sparkles);
    const struct {
        const RecordingCanvas& canvas;
        std::string text;
        double size;
        FontWeight weight;
    } cases[] = {
        {busy, watch::title, 32, FontWeight::light},
        {busy, "Behold, <b>muscles</b>!", 26, FontWeight::light},
        {quiet, watch::quietLine, 18, FontWeight::light},
        {busy, watch::tagLine, 13, FontWeight::regular},
        {busy, watch::hint, 14, FontWeight::regular},
        {busy, "Pip", 13, FontWeight::semibold},
    };
    for (const auto& c : cases) {
        const RecordedOp* op = findText(c.canvas.ops(), c.text);
        ASSERT_NE(op, nullptr) << c.text;
        EXPECT_EQ(op->textStyle.font, (Font{FontFamily::system, c.size, c.weight})) << c.text;
    }

    auto ink = [](FontWeight weight) {
        QImage image(600, 80, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        QPainterCanvas canvas(painter);
        TextStyle style;
        style.font = Font{FontFamily::system, 32, weight};
        style.color = Color::white(1);
        canvas.drawText(watch::title, {10, 10}, style);
        painter.end();
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) sum += qAlpha(image.pixel(x, y));
        return sum;
    };
    const double light = ink(FontWeight::light);
    const double regular = ink(FontWeight::regular);
    EXPECT_GT(light, 0);
    EXPECT_LT(light, 0.9 * regular) << "light is drawn with a lighter face";
}

// X key codes of the evdev layout: what the key table reads, whatever the layout prints.
constexpr quint32 kXEscape = 9, kXQ = 24, kXW = 25, kXA = 38, kXZ = 52, kXSuper = 133;

TEST(TumblewickWatchPanelTest, LeavesOnEscapeQOrSuperWByKeyPositionAndOtherwiseShowsTheHint) {
    const struct {
        const char* name;
        quint32 xKey;
        int qtKey;  // what a French layout makes of the key
        quint32 keysym;
        Qt::KeyboardModifiers modifiers;
        bool leaves;
        double hintAfter;
    } cases[] = {
        {"Escape", kXEscape, Qt::Key_Escape, 0, Qt::NoModifier, true, 0},
        {"Shift-Q, printed A", kXQ, Qt::Key_A, 0, Qt::ShiftModifier, true, 0},
        {"Super-W, printed Z", kXW, Qt::Key_Z, 0, Qt::MetaModifier, true, 0},
        {"W alone", kXW, Qt::Key_Z, 0, Qt::NoModifier, false, 1},
        {"the A key, printed Q", kXA, Qt::Key_Q, 0, Qt::NoModifier, false, 1},
        {"Super on the Z key, printed W", kXZ, Qt::Key_W, 0, Qt::MetaModifier, false, 1},
        {"Super on its own", kXSuper, Qt::Key_Meta, XK_Super_L, Qt::MetaModifier, false, 0},
    };
    ManualClock clock;
    TumblewickWatchPanel panel([] { return busyScene(); }, clock);
    for (const auto& c : cases) {
        panel.toggle();
        WatchPanelView* view = panel.view();
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(view->isVisible()) << c.name;
        clock.advance(10);
        view->refresh();
        ASSERT_EQ(view->hintAlpha(), 0) << c.name;
        QKeyEvent press(QEvent::KeyPress, c.qtKey, c.modifiers, c.xKey, c.keysym, 0);
        QApplication::sendEvent(view, &press);
        EXPECT_EQ(view->isVisible(), !c.leaves) << c.name;
        EXPECT_EQ(panel.redrawing(), !c.leaves) << c.name;
        if (!c.leaves) {
            EXPECT_EQ(view->hintAlpha(), c.hintAfter) << c.name;
            panel.toggle();
        }
        EXPECT_FALSE(view->isVisible()) << c.name;
        EXPECT_EQ(panel.view(), view) << "reused, never rebuilt: " << c.name;
    }
}

TEST(TumblewickWatchPanelTest, CoversTheScreenAndRedrawsOnlyWhileShown) {
    ManualClock clock{Date{kSlotMiddle}};
    TumblewickWatchPanel panel([] { return busyScene(); }, clock);
    EXPECT_FALSE(panel.redrawing());
    panel.toggle();
    WatchPanelView* view = panel.view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->geometry(), QGuiApplication::primaryScreen()->geometry());
    EXPECT_TRUE(view->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel.redrawing());
    view->grab().save(QString::fromStdString((outputFolder() / "watch_panel.png").string()));

    // Moving the mouse brings the faded hint back.
    clock.advance(3.75);
    view->refresh();
    EXPECT_DOUBLE_EQ(view->hintAlpha(), 0.5);
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    EXPECT_DOUBLE_EQ(view->hintAlpha(), 1);

    panel.toggle();
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(panel.redrawing());
}

}  // namespace
}  // namespace tw
