// The stage's paint order on the recording canvas, and the whole strip painted for real
// at three energy levels and two scales into PNG files, with a few pixel probes.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <filesystem>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/stage_painter.h"
#include "platform/qt/qpainter_canvas.h"
#include "stage_fakes.h"

namespace tw {
namespace {

using testing::StageRig;
using Kind = RecordedOp::Kind;

class StagePaintTest : public ::testing::Test {
   protected:
    void SetUp() override { progressionSpec() = loadProgressionSpec(); }
    void TearDown() override {
        progressionSpec().reset();
        macCustomFleaByAct().clear();
    }
};

// A busy stage: every layer has something to paint.
void fillStage(StageRig& rig, double energy) {
    auto& s = *rig.stage;
    rig.tick(0.02);
    s.onClick();
    s.onKeystrokes(4);
    for (int i = 0; i < 12; ++i) rig.tick(0.017);
    s.energy.value = s.energy.smooth = energy * 100;
    s.updateAvailableVersion = "v1.5.0";  // as the feed wrote it
    rig.host.lines = {{"Nova", "The rope hums today, I can feel it in my knees"}, {"Blaze", "Hotter!"}};
    rig.host.refusing = {"Rex"};
    FleaStageState state = FleaStageState::make("Pip", "strongman");
    state.current_action = AgentAction::attempt_bit;
    rig.host.states = {state};
    FleaAgentScheduler::DiagnosticEntry mood;
    mood.flea_id = "Dot";
    mood.mood = MoodDimensions{0.8, 0.3, 0.6, 0.9};
    rig.host.diagnostics = {mood};
}

std::size_t firstIndex(const std::vector<RecordedOp>& ops,
                       const std::function<bool(const RecordedOp&)>& match, std::size_t from = 0) {
    for (std::size_t i = from; i < ops.size(); ++i) {
        if (match(ops[i])) return i;
    }
    ADD_FAILURE() << "no such operation after " << from;
    return ops.size();
}

TEST_F(StagePaintTest, LayersPaintBackToFrontInTheirFixedOrder) {
    StageRig rig({1000, 150});
    fillStage(rig, 0.9);
    auto& s = *rig.stage;
    s.groundFlash = 0.06;
    s.shockwaves = {Shockwave{500, 60, 40}};
    s.floaters = {FloatingText{300, 40, "POW!", Colors::gold, 1.0}};
    RecordingCanvas canvas;
    paintStage(canvas, s, Date{100}, 0);
    const auto ops = canvas.drawingOps();
    auto color = [](Color c) { return [c](const RecordedOp& op) { return op.color == c; }; };
    auto text = [](std::string t) {
        return [t](const RecordedOp& op) { return op.kind == Kind::text && op.text == t; };
    };

    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops[0].kind, Kind::clearRect);
    testing::expectRect(ops[0].rect, {0, 0, 1000, 150});
    EXPECT_EQ(ops[1].color, TumblewickStage::blendColor(Colors::groundTop, Colors::glow, 0.06));
    testing::expectRect(ops[1].rect, {0, 135, 1000, 3});
    testing::expectRect(ops[2].rect, {0, 138, 1000, 12});
    std::vector<std::size_t> order;
    order.push_back(firstIndex(
        ops, [](const RecordedOp& op) { return op.kind == Kind::fillEllipse && op.rect.width == 2; }));
    order.push_back(firstIndex(ops, color(Colors::bunting[0])));
    order.push_back(firstIndex(ops, color(Colors::rope)));
    order.push_back(firstIndex(ops, color(Colors::tentRed)));
    order.push_back(firstIndex(ops, color(Colors::glow.withAlpha(s.bannerGlow))));
    order.push_back(firstIndex(ops, color(Colors::bannerBg)));
    order.push_back(firstIndex(ops, text("~ TUMBLEWICK ~")));
    order.push_back(firstIndex(ops, [](const RecordedOp& op) {
        return op.color.red == Colors::clickRing.red && op.kind == Kind::strokeEllipse;
    }));
    order.push_back(firstIndex(ops, color(Colors::rope), order.back()));  // the tightrope act
    order.push_back(firstIndex(ops, text("The rope hums today, I can feel it…")));
    order.push_back(firstIndex(ops, text("✨")));
    order.push_back(firstIndex(ops, text("🤲 not now")));
    order.push_back(firstIndex(ops, color(Color::rgb(0.4, 0.85, 0.95, 0.85))));
    order.push_back(firstIndex(
        ops, [](const RecordedOp& op) { return op.kind == Kind::fillEllipse && op.rect.width == 2.5; }));
    order.push_back(firstIndex(
        ops, [](const RecordedOp& op) { return op.color == Colors::flea && op.rect.width == 5; },
        order.back()));
    order.push_back(firstIndex(ops, color(Colors::brassDark), order.back()));
    order.push_back(firstIndex(ops, text("POW!")));
    order.push_back(firstIndex(ops, color(Color::rgb(0.35, 0.23, 0.08))));
    order.push_back(firstIndex(ops, color(Color::rgb(1.0, 0.27, 0.27))));
    order.push_back(firstIndex(ops, text("v1.5.0 available")));
    EXPECT_EQ(order.back(), ops.size() - 1);
    for (std::size_t i = 1; i < order.size(); ++i) EXPECT_LT(order[i - 1], order[i]) << "layer " << i;

    // Nineteen pennants at W = 1000, cycling through the five colours.
    std::vector<RecordedOp> pennants;
    for (const auto& op : ops) {
        if (op.kind == Kind::fillPath && op.path.elements().size() == 4 &&
            op.path.elements()[2].points[0].y == 20) {
            pennants.push_back(op);
        }
    }
    ASSERT_EQ(pennants.size(), 19u);
    EXPECT_EQ(pennants[5].color, Colors::bunting[0]);
    EXPECT_DOUBLE_EQ(pennants[18].path.elements()[2].points[0].x, 925);
}

TEST_F(StagePaintTest, FontsAndFlashFollowTheScaleAndThresholds) {
    struct Case {
        double scale;
        double flash;
        double bannerSize;
        double noticeSize;
        bool blended;
    };
    const Case cases[] = {{1.0, 0.05, 12, 9, false}, {1.8, 0.06, 21.6, 16.2, true}};
    for (const auto& c : cases) {
        StageRig rig({1000, 150}, 60, c.scale);
        rig.stage->groundFlash = c.flash;
        rig.stage->updateAvailableVersion = "2.0";
        RecordingCanvas canvas;
        paintStage(canvas, *rig.stage, Date{0}, 0);
        const auto ops = canvas.drawingOps();
        EXPECT_EQ(ops[1].color == Colors::groundTop, !c.blended);
        std::vector<double> sizes;
        for (const auto& op : ops) {
            if (op.kind == Kind::text) sizes.push_back(op.textStyle.font.size);
        }
        ASSERT_EQ(sizes.size(), 2u);
        EXPECT_NEAR(sizes[0], c.bannerSize, 1e-9);
        EXPECT_NEAR(sizes[1], c.noticeSize, 1e-9);
        // No energy: the gauge's frame is painted without a level.
        EXPECT_EQ(ops[ops.size() - 2].color, Color::rgb(0.16, 0.10, 0.03));
    }
}

std::filesystem::path outputDir() {
    const char* base = std::getenv("TW_TEST_OUTPUT_DIR");
    auto dir = std::filesystem::path(base != nullptr ? base : "test-output") / "stage";
    std::filesystem::create_directories(dir);
    return dir;
}

TEST_F(StagePaintTest, WholeStripAtThreeEnergiesAndTwoScales) {
    struct Case {
        double energy;
        double scale;
        const char* name;
        QColor gauge;
    };
    const Case cases[] = {
        {0.2, 1.0, "calm", QColor::fromRgbF(0.27f, 0.8f, 0.27f)},
        {0.55, 1.0, "lively", QColor::fromRgbF(1.0f, 0.73f, 0.0f)},
        {0.95, 1.0, "wild", QColor::fromRgbF(1.0f, 0.27f, 0.27f)},
        {0.2, 1.8, "calm", QColor::fromRgbF(0.27f, 0.8f, 0.27f)},
        {0.55, 1.8, "lively", QColor::fromRgbF(1.0f, 0.73f, 0.0f)},
        {0.95, 1.8, "wild", QColor::fromRgbF(1.0f, 0.27f, 0.27f)},
    };
    QPainterCanvasCache cache;
    for (const auto& c : cases) {
        StageRig rig({1920, 150}, 60, c.scale);
        fillStage(rig, c.energy);
        rig.stage->groundFlash = 0;
        QImage image(1920, 150, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(70, 90, 120));           // a desktop behind the strip; the stage clears it
        for (int frame = 0; frame < 2; ++frame) {  // the second frame stamps from the cache
            QPainter painter(&image);
            QPainterCanvas canvas(painter, &cache);
            paintStage(canvas, *rig.stage, Date{1000}, 0.3);
        }
        const std::string name = std::string("strip_") + c.name + (c.scale > 1 ? "_scale18" : "_scale1");
        EXPECT_TRUE(image.save(QString::fromStdString((outputDir() / (name + ".png")).string())));
        const double s = c.scale;
        const double ground = 150 - 15 * s;
        // Cleared sky shows through; the ground is the ground colour; the gauge shows its level.
        int clear = 0;
        for (int x = 0; x < 1920; ++x) clear += image.pixelColor(x, 2).alpha() == 0 ? 1 : 0;
        EXPECT_GT(clear, 1700) << name;
        const QColor floor = image.pixelColor(1700, static_cast<int>(ground + 3 + 4));
        EXPECT_NEAR(floor.redF(), Colors::ground.red, 0.02) << name;
        const QColor level =
            image.pixelColor(static_cast<int>(1920 - 110 * s + 2), static_cast<int>(ground + 9 * s));
        EXPECT_NEAR(level.redF(), c.gauge.redF(), 0.02) << name;
        EXPECT_NEAR(level.greenF(), c.gauge.greenF(), 0.02) << name;
        // The banner box's fill beside its title.
        const QColor banner = image.pixelColor(960, static_cast<int>(24 * s - 9 + 2));
        EXPECT_NEAR(banner.redF(), Colors::bannerBg.red, 0.05) << name;
    }
    // Pictures are rendered once per kind, not per frame: a repaint renders only what
    // the acts spawned while drawing, far fewer than the particles it stamps.
    StageRig rig({1920, 150}, 60, 1.0);
    fillStage(rig, 0.95);
    QPainterCanvasCache fresh;
    QImage image(1920, 150, QImage::Format_ARGB32_Premultiplied);
    std::vector<std::size_t> renders;
    for (int frame = 0; frame < 2; ++frame) {
        QPainter painter(&image);
        QPainterCanvas canvas(painter, &fresh);
        paintStage(canvas, *rig.stage, Date{1000}, 0.3);
        renders.push_back(fresh.pictureRenders());
    }
    EXPECT_GT(rig.stage->particles.particles.size(), 80u);
    EXPECT_LT(renders[1] - renders[0], 15u);
    EXPECT_LE(fresh.shadowRenders(), renders[0]);
}

// Everything stamped from a picture (scenery, faces, the backdrop) shows whole: the
// strip painted through the caches matches the strip drawn directly, at both scales,
// but for the filtering of sub-pixel stamps.
TEST(StagePictures, StampedStripMatchesTheDrawnOne) {
    for (const double scale : {1.0, 1.5}) {
        StageRig rig({1920, 150}, 60, scale);
        rig.stage->update();
        const auto paint = [&](QPainterCanvasCache* cache) {
            QImage image(1920, 150, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            QPainterCanvas canvas(painter, cache);
            paintStage(canvas, *rig.stage, Date{1000}, 0.3);
            return image;
        };
        QPainterCanvasCache cache;
        const QImage stamped = paint(&cache);
        const QImage drawn = paint(nullptr);
        int far = 0;  // pixels whose coverage differs by more than filtering explains
        for (int y = 0; y < 150; ++y) {
            for (int x = 0; x < 1920; ++x)
                far += std::abs(qAlpha(stamped.pixel(x, y)) - qAlpha(drawn.pixel(x, y))) > 160;
        }
        EXPECT_LE(far, 20) << scale;
    }
}

}  // namespace
}  // namespace tw
