#include "Tumblewick/stage/flea_figure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/custom_flea_looks.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/mac_flea_effect_flags.h"
#include "stage_test_support.h"

namespace tw {
namespace {

using testing::expectPoint;
using testing::expectRect;
using testing::lineOf;
using Kind = RecordedOp::Kind;

ProgressionSpec::TechNode node(std::string id, std::string type,
                               std::optional<std::string> value = std::nullopt,
                               std::optional<std::vector<double>> rgb = std::nullopt) {
    ProgressionSpec::TechNode n;
    n.id = std::move(id);
    n.effectType = std::move(type);
    n.effectValue = std::move(value);
    n.effectRGB = std::move(rgb);
    return n;
}

MacCustomFlea flea(std::string act, std::vector<std::string> unlocked = {}, double createdAt = 0) {
    MacCustomFlea f;
    f.name = "Test";
    f.hatKind = "bowler";
    f.discoveredAct = std::move(act);
    f.createdAt = Date{createdAt};
    f.unlockedNodeIDs = std::move(unlocked);
    return f;
}

class FleaFigureTest : public ::testing::Test {
   protected:
    void SetUp() override {
        macCustomFleaByAct().clear();
        progressionSpec().reset();
    }
    void TearDown() override { SetUp(); }
    RecordingCanvas canvas;
};

TEST_F(FleaFigureTest, DefaultFigureFacingLeftKeepsFeetLeaningRight) {
    drawFlea(canvas, 100, 50, -1, 0, 2);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 8u);
    expectRect(ops[0].rect, {88, 40, 24, 20});
    EXPECT_EQ(ops[0].color, Colors::flea);
    expectRect(ops[1].rect, {90 - 9, 42 - 9, 18, 18});  // head 5s to −x
    EXPECT_EQ(ops[1].color, Colors::fleaLight);
    expectRect(ops[3].rect, {87 - 0.4 - 2.4, 41 - 2.4, 4.8, 4.8});  // pupil shift unscaled
    expectRect(ops[4].rect, {90 - 7 - 3, 43, 6, 3.4});
    for (int k = 0; k < 3; ++k) {
        auto [hip, foot] = lineOf(ops[5 + k]);
        EXPECT_EQ(foot.x - hip.x, 4);  // towards +x whatever the facing
        EXPECT_EQ(ops[5 + k].lineWidth, 2);
    }
    auto [hip, foot] = lineOf(ops[5]);
    expectPoint(hip, {92, 58});
    expectPoint(foot, {96, 66 + 4 * std::sin(-0.33 * 6.28)});

    canvas.clear();
    drawFlea(canvas, 0, 0, 1, 0, 0.5);
    EXPECT_EQ(canvas.drawingOps()[6].lineWidth, 1);  // legs never thinner than a point
}

TEST_F(FleaFigureTest, HatsDefaultCustomAndBoth) {
    drawFlea(canvas, 0, 0, 1, 0, 1, true, std::nullopt, std::nullopt, MacFleaHatKind::topHat);
    auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 8u + 3u + 3u);
    EXPECT_EQ(ops[8].color, Color::rgb(0.1, 0.1, 0.18));
    expectRect(ops[8].rect, {2, -8.5 - 7, 6, 7.5});
    EXPECT_EQ(ops[11].color, Color::rgb(0.05, 0.05, 0.08));

    canvas.clear();
    drawFlea(canvas, 0, 0, 1, 0, 1, false, std::nullopt, std::nullopt, MacFleaHatKind::none);
    EXPECT_EQ(canvas.drawingOps().size(), 8u);

    const std::pair<MacFleaHatKind, std::size_t> shapes[] = {
        {MacFleaHatKind::none, 0},   {MacFleaHatKind::topHat, 3},    {MacFleaHatKind::crown, 3},
        {MacFleaHatKind::bowler, 2}, {MacFleaHatKind::propeller, 4}, {MacFleaHatKind::bandana, 2}};
    for (auto [kind, count] : shapes) {
        canvas.clear();
        drawMacCustomHat(canvas, kind, 10, 20, 9, 2);
        EXPECT_EQ(canvas.drawingOps().size(), count) << rawValue(kind);
    }
    canvas.clear();
    drawMacCustomHat(canvas, MacFleaHatKind::bandana, 10, 20, 9, 2);
    expectRect(canvas.drawingOps()[1].rect, {-2, 14, 6, 4});  // knot always on the −x side
    EXPECT_FALSE(macFleaHatKindFromRawValue("TopHat"));
    EXPECT_EQ(macFleaHatKindFromRawValue("propeller"), MacFleaHatKind::propeller);
}

TEST_F(FleaFigureTest, AuraDecorationsAndCostumes) {
    drawFleaAuraMac(canvas, 0, 0, 1, Colors::gold, 0);
    auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 3u);
    expectRect(ops[2].rect, {-24, -15.6, 48, 31.2});
    EXPECT_NEAR(ops[2].color.alpha, 0.08, 1e-12);

    canvas.clear();
    drawFleaDecorationsMac(canvas, 0, 0, 1, false, false, 0);
    EXPECT_TRUE(canvas.drawingOps().empty());
    drawFleaDecorationsMac(canvas, 0, 0, 2, true, true, 0);
    ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 4u + 2u);
    expectRect(ops[0].rect, {22 - 1.2, -4 - 1.2, 2.4, 2.4});  // dots are not scaled
    const auto& star = ops[4].path.elements();
    ASSERT_EQ(star.size(), 6u);
    expectPoint(star[0].points[0], {0, 2 - 4.4});  // first vertex straight above the centre
    expectPoint(star[1].points[0], {4.4 * std::cos(-std::numbers::pi / 2 + 4 * std::numbers::pi / 5),
                                    2 + 4.4 * std::sin(-std::numbers::pi / 2 + 4 * std::numbers::pi / 5)});
    EXPECT_EQ(ops[4].color, Colors::gold);

    canvas.clear();
    drawCostumeMac(canvas, "tightrope", 0, 0, 1, 0, 1);
    ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 2u);
    const auto& arc = ops[1].path.elements()[0];
    EXPECT_EQ(arc.kind, Path::Kind::arc);
    EXPECT_EQ(arc.direction, ArcDirection::decreasingAngle);  // through π/2: the larger-y half
    EXPECT_EQ(arc.startAngle, std::numbers::pi);
    EXPECT_EQ(arc.radius, 8);
    for (const char* act : {"strongman", "juggling", "firebreather", "trapeze"}) {
        canvas.clear();
        drawCostumeMac(canvas, act, 0, 0, 1, 0, 1);
        EXPECT_FALSE(canvas.drawingOps().empty()) << act;
    }
    for (const char* act : {"cannon", "unicycle", "Juggling"}) {
        canvas.clear();
        drawCostumeMac(canvas, act, 0, 0, 1, 0, 1);
        EXPECT_TRUE(canvas.drawingOps().empty()) << act;
    }
}

TEST_F(FleaFigureTest, EffectResolution) {
    ProgressionSpec spec;
    spec.acts["juggling"].techTree = {
        node("s1", "scaleUp", "0.1"),
        node("s2", "scaleUp", "0.15"),
        node("s3", "scaleUp", " 0.1"),
        node("s4", "scaleUp", "inf"),
        node("s5", "scaleUp", "1e308"),
        node("s6", "scaleUp", "1e308"),
        node("t1", "colorTint", {}, {{1, 0, 0}}),
        node("t2", "colorTint", {}, {{0, 1, 0}}),
        node("t3", "colorTint", {}, {{0, 0}}),
        node("a1", "auraGlow", {}, {{0, 0, 1, 0.5}}),
        node("h1", "hat", "crown"),
        node("h2", "hat", "Crown"),
        node("g", "goldAccents"),
        node("sp", "sparkleTrail"),
        node("locked", "sparkleTrail"),
    };
    spec.acts["cannon"].techTree = {node("other", "goldAccents")};

    EXPECT_EQ(resolveEffectsMac(flea("juggling", {"s1", "t1"}), std::nullopt), MacFleaEffectFlags());
    EXPECT_EQ(resolveEffectsMac(flea("juggling"), spec), MacFleaEffectFlags());
    EXPECT_EQ(resolveEffectsMac(flea("Juggling", {"s1"}), spec), MacFleaEffectFlags());
    EXPECT_EQ(resolveEffectsMac(flea("cannon", {"s1"}), spec), MacFleaEffectFlags());

    auto effects = resolveEffectsMac(flea("juggling", {"s1", "s2", "s3"}), spec);
    EXPECT_NEAR(effects.scaleMultiplier, 1.25, 1e-12);
    // Non-finite steps, or steps that would overflow the sum, add nothing.
    effects = resolveEffectsMac(flea("juggling", {"s4", "s5", "s6"}), spec);
    EXPECT_EQ(effects.scaleMultiplier, 1 + 1e308);

    effects = resolveEffectsMac(flea("juggling", {"t1", "t2", "t3", "a1", "h1", "g", "sp", "other"}), spec);
    EXPECT_EQ(effects.tint, Color::rgb(0, 1, 0));  // the last in tree order; the short list changes nothing
    EXPECT_EQ(effects.auraColor, Color::rgb(0, 0, 1));
    EXPECT_EQ(effects.overrideHat, MacFleaHatKind::crown);
    EXPECT_TRUE(effects.hasGoldAccents);
    EXPECT_TRUE(effects.hasSparkleTrail);
    EXPECT_FALSE(resolveEffectsMac(flea("juggling", {"h1", "h2"}), spec).overrideHat);

    EXPECT_EQ(parseStrictDouble("1e-2"), 0.01);
    EXPECT_FALSE(parseStrictDouble("0.1 "));
    EXPECT_FALSE(parseStrictDouble("10%"));
    EXPECT_FALSE(parseStrictDouble(""));
}

TEST_F(FleaFigureTest, PerformerTableNewestFleaPerActWins) {
    auto older = flea("juggling", {}, 10);
    older.name = "Older";
    auto newer = flea("juggling", {}, 20);
    newer.name = "Newer";
    auto tieA = flea("cannon", {}, 5);
    tieA.name = "First";
    auto tieB = flea("cannon", {}, 5);
    tieB.name = "Second";
    const auto table = performersByAct({older, tieA, newer, tieB, flea("Juggling")});
    EXPECT_EQ(table.at("juggling").name, "Newer");
    EXPECT_EQ(table.at("cannon").name, "First");
    EXPECT_TRUE(table.contains("Juggling"));
    EXPECT_EQ(table.size(), 3u);
}

TEST_F(FleaFigureTest, ActFleaTakesTheCustomLook) {
    drawActFleaMac(canvas, "strongman", 0, 0, 1, 0, 1, true);
    EXPECT_EQ(canvas.drawingOps().size(), 8u + 3u);  // default flea with the top hat

    ProgressionSpec spec;
    spec.bodyPalette = {{"Mint", {0.2, 0.8, 0.6}, {0.3, 0.9, 0.7}}, {"Broken", {0.5}, {}}};
    spec.acts["strongman"].techTree = {node("big", "scaleUp", "0.2"),
                                       node("glow", "auraGlow", {}, {{1, 0, 1}})};
    progressionSpec() = spec;
    auto custom = flea("strongman", {"big", "glow"});
    macCustomFleaByAct()["strongman"] = custom;

    canvas.clear();
    drawActFleaMac(canvas, "strongman", 0, 0, 1, 0, 1, true);
    auto ops = canvas.drawingOps();
    // Aura, figure, bowler (no top hat for a custom flea), strongman costume.
    ASSERT_EQ(ops.size(), 3u + 8u + 2u + 2u);
    expectRect(ops[3].rect, {-7.2, -6, 14.4, 12});  // scale 1.2
    EXPECT_EQ(ops[3].color, Color::rgb(0.2, 0.8, 0.6));
    EXPECT_EQ(ops[4].color, Color::rgb(0.3, 0.9, 0.7));
    EXPECT_EQ(ops[11].color, Color::rgb(0.3, 0.18, 0.08));

    // Out-of-range index, and an entry too short to make a colour: the default flea colours.
    for (std::int64_t index : {-1, 2, 1}) {
        custom.bodyColorIndex = index;
        macCustomFleaByAct()["strongman"] = custom;
        canvas.clear();
        drawActFleaMac(canvas, "strongman", 0, 0, 1, 0, 1);
        ops = canvas.drawingOps();
        EXPECT_EQ(ops[3].color, Colors::flea) << index;
        EXPECT_EQ(ops[4].color, Colors::fleaLight) << index;
    }

    spec.acts["strongman"].techTree.push_back(node("tint", "colorTint", {}, {{0.1, 0.2, 0.3}}));
    progressionSpec() = spec;
    custom.unlockedNodeIDs.push_back("tint");
    custom.hatKind = "sombrero";
    macCustomFleaByAct()["strongman"] = custom;
    canvas.clear();
    drawActFleaMac(canvas, "strongman", 0, 0, 1, 0, 1);
    ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 3u + 8u + 2u);  // unknown hat: none
    EXPECT_EQ(ops[3].color, Color::rgb(0.1, 0.2, 0.3));
    EXPECT_EQ(ops[4].color, Color::rgb(0.1, 0.2, 0.3, 0.82));
}

// A multiplier near the largest double passes resolution (each step and the sum are
// finite) but would paint the flea at an infinite size: it keeps the act's scale.
TEST_F(FleaFigureTest, HugeScaleUpPaintsNoInfiniteOrNaNGeometry) {
    ProgressionSpec spec;
    spec.acts["cannon"].techTree = {node("huge", "scaleUp", "1e308"), node("gold", "goldAccents"),
                                    node("glow", "auraGlow", {}, {{1, 0, 0}})};
    progressionSpec() = spec;
    macCustomFleaByAct()["cannon"] = flea("cannon", {"huge", "gold", "glow"});
    drawActFleaMac(canvas, "cannon", 10, 20, 1, 0.5, 2);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 3u + 8u + 2u + 2u);  // aura, figure, bowler, star and its dot
    for (const auto& op : ops) {
        EXPECT_TRUE(std::isfinite(op.rect.x) && std::isfinite(op.rect.y) && std::isfinite(op.rect.width) &&
                    std::isfinite(op.rect.height));
        for (const auto& element : op.path.elements()) {
            for (const auto& point : element.points)
                EXPECT_TRUE(std::isfinite(point.x) && std::isfinite(point.y));
        }
    }
    expectRect(ops[3].rect, {10 - 12, 20 - 10, 24, 20});  // the body at the act's scale 2
}

}  // namespace
}  // namespace tw
