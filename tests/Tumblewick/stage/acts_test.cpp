#include <gtest/gtest.h>

#include <numbers>

#include "Tumblewick/stage/cannon_act.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/fire_breather_act.h"
#include "Tumblewick/stage/juggling_act.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/strong_flea_act.h"
#include "Tumblewick/stage/tightrope_act.h"
#include "Tumblewick/stage/trapeze_act.h"
#include "Tumblewick/stage/unicycle_act.h"
#include "stage_test_support.h"

namespace tw {
namespace {

using testing::expectPoint;
using testing::expectRect;
using testing::lineOf;
using testing::ScriptedRandom;

constexpr std::size_t kFleaOps = 8;  // body, head, eye, pupil, cheek, three legs

class ActsTest : public ::testing::Test {
   protected:
    void SetUp() override { macCustomFleaByAct().clear(); }
    ScriptedRandom random;
    SeededRandomSource particleRandom{1};
    ParticleSystem particles{particleRandom};
    RecordingCanvas canvas;
};

TEST_F(ActsTest, TightropeWalksTurnsAndBalances) {
    TightropeAct act(0, 100, 90, random);
    random.uniforms.assign(100, 0.0);
    act.update(1, 0);
    EXPECT_NEAR(act.position, 0.001, 1e-12);
    EXPECT_EQ(act.phase, 1);
    for (int i = 0; i < 20; ++i) act.update(0.1, 1);
    EXPECT_EQ(act.position, 1);  // full energy crosses in 2 s
    EXPECT_EQ(act.direction, -1);

    // Damping is once per update; a 0 draw leaves only the decay.
    act.wobble = 0;
    act.wobbleV = 10;
    act.update(0.01, 0);
    EXPECT_NEAR(act.wobbleV, 9, 1e-12);

    random.ints = {0, 1};
    act.wobbleV = 0;
    act.onInput(1);
    EXPECT_EQ(act.wobbleV, -80);
    act.onInput(1);
    EXPECT_EQ(act.wobbleV, 0);
    SeededRandomSource seeded(3);
    TightropeAct stormy(0, 100, 90, seeded);
    for (int i = 0; i < 500; ++i) {
        stormy.onInput(1);
        stormy.update(0.1, 1);
        ASSERT_LE(std::abs(stormy.wobble), 8);
    }
}

TEST_F(ActsTest, TightropeDrawsPostsSaggingRopeWalkerAndPole) {
    TightropeAct act(10, 100, 80, random);
    act.position = 0.5;
    act.draw(canvas, particles);
    const auto ops = canvas.drawingOps();
    constexpr std::size_t ropeLines = 24;
    ASSERT_EQ(ops.size(), 2 + 2 + ropeLines + kFleaOps + 1);
    EXPECT_EQ(lineOf(ops[1]).second, (Point{90, 60}));
    expectRect(ops[3].rect, {87, 57, 6, 6});
    expectPoint(lineOf(ops[4]).first, {10, 65});
    expectPoint(lineOf(ops[4 + 11]).second, {50, 65 + 5 + 3});  // mid-rope: sag 5, dip 3 under the walker
    expectPoint(lineOf(ops[4 + ropeLines - 1]).second, {90, 65});
    expectRect(ops[4 + ropeLines].rect, {50 - 5.4, 65 + 5 + 3 - 9 - 4.5, 10.8, 9});  // body at 0.9
    auto [from, to] = lineOf(ops.back());
    expectPoint(from, {30, 63});
    expectPoint(to, {70, 63});
}

TEST_F(ActsTest, CannonFiresFliesLandsAndResetsTheLine) {
    CannonAct act(0, 100, 200, random);
    act.fire();
    EXPECT_EQ(act.state, "fly");
    EXPECT_DOUBLE_EQ(act.fleaX, 30 + 12.618681599723013);
    EXPECT_DOUBLE_EQ(act.fleaY, 88 - 18.02134497435782);
    EXPECT_NEAR(std::hypot(act.fleaVX, act.fleaVY), 280, 1e-9);
    EXPECT_EQ(act.queuePositions, (std::vector<double>{0, 10, 25}));
    EXPECT_EQ(act.flash, 1);

    const auto flying = act.fleaVX;
    act.fire();  // a click mid-flight changes nothing
    EXPECT_EQ(act.fleaVX, flying);
    EXPECT_EQ(act.queuePositions, (std::vector<double>{0, 10, 25}));

    const double startX = act.fleaX;
    double t = 0;
    while (act.state == "fly" && t < 10) {
        act.update(1.0 / 600, 0);
        t += 1.0 / 600;
    }
    EXPECT_NEAR(t, 2.6, 0.05);
    EXPECT_NEAR(act.fleaX - startX, 414, 6);
    EXPECT_EQ(act.queuePositions, (std::vector<double>{10, 25, 40}));
}

TEST_F(ActsTest, CannonLineWalksWithEnergyAndFiresOnlyWhenLively) {
    CannonAct act(0, 100, 200, random);
    act.update(1, 0.1);
    EXPECT_EQ(act.queuePositions, (std::vector<double>{10, 25, 40}));
    act.queuePositions = {0.5, 20, 30};
    random.uniforms = {0.0};
    act.update(0.5, 0.4);  // walks, but only clicks fire below 0.5
    EXPECT_EQ(act.state, "ready");
    EXPECT_EQ(act.queuePositions, (std::vector<double>{0, 18.4, 28.4}));

    random.uniforms = {0.05};
    act.update(0.1, 0.8);  // 0.05 < 0.1 × 0.8
    EXPECT_EQ(act.state, "fly");
}

TEST_F(ActsTest, CannonDrawsBarrelNetAndWaitingLine) {
    CannonAct act(0, 100, 200, random);
    act.flash = 0.5;
    act.queuePositions = {0, 10, 25};
    act.draw(canvas, particles);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 2 + 1 + 2 + 1 + kFleaOps + 2 * kFleaOps);
    const auto& net = ops[1].path.elements();
    ASSERT_EQ(net.size(), 10u);
    expectPoint(net[5].points[0], {180 - 17.5 + 4.375 * 4, 75 + 4});
    auto [pivot, end] = lineOf(ops[2]);
    EXPECT_EQ(pivot, (Point{30, 88}));
    expectPoint(end, {30 + 26 * std::cos(55 * std::numbers::pi / 180),
                      88 - 26 * std::sin(55 * std::numbers::pi / 180)});
    EXPECT_EQ(ops[2].lineWidth, 10);
    EXPECT_EQ(ops[5].color, Colors::systemOrange.withAlpha(0.5));
    EXPECT_NEAR(ops[5].rect.width, 18, 1e-12);
    // The seated flea, then two waiting fleas at scale 0.65 (the one at offset 0 is gone).
    expectRect(ops[6].rect,
               {30 + 10 * std::cos(55 * std::numbers::pi / 180) - 4.2,
                88 - 10 * std::sin(55 * std::numbers::pi / 180) - 3.5, 8.4, 7},
               1e-9);
    expectRect(ops[6 + kFleaOps].rect, {10 - 3.9, 92 - 3.25, 7.8, 6.5}, 1e-9);
}

TEST_F(ActsTest, StrongmanLiftsLowersAndAnswersKeyPresses) {
    StrongFleaAct act(100, 100);
    act.update(1, 0);
    EXPECT_NEAR(act.lift, 0.01, 1e-12);
    act.onKeystroke();
    EXPECT_NEAR(act.lift, 0.09, 1e-12);
    EXPECT_EQ(act.pump, 6);
    act.update(0.1, 0.5);
    EXPECT_NEAR(act.pump, 4.8, 1e-12);

    // Raising from 0 to 1 and lowering back: lowering takes 2.5 times as long.
    StrongFleaAct timed(0, 0);
    int upFrames = 0;
    while (timed.up) {
        timed.update(0.01, 0.5);
        ++upFrames;
    }
    int downFrames = 0;
    while (!timed.up) {
        timed.update(0.01, 0.5);
        ++downFrames;
    }
    EXPECT_NEAR(static_cast<double>(downFrames) / upFrames, 2.5, 0.05);
    EXPECT_EQ(timed.lift, 0);
    timed.up = false;
    timed.onKeystroke();  // while lowering a key press only bumps the bar
    EXPECT_EQ(timed.lift, 0);

    act.lift = 0.5;
    act.pump = 2;
    act.draw(canvas, particles);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 1 + kFleaOps + 1 + 4);
    const double barY = 85 - (11 + 5 + 2);
    EXPECT_EQ(lineOf(ops[1 + kFleaOps]).first, (Point{76, barY}));
    expectRect(ops.back().rect, {121, barY - 8, 6, 16});
    EXPECT_EQ(ops.back().color, Colors::systemGray);
}

TEST_F(ActsTest, TrapezeSwingsPushesAndLeaps) {
    TrapezeAct act(0, 100, 80, random);
    act.update(0.1, 0.2);  // free swing: pull back, then 5 % lost
    EXPECT_NEAR(act.angleV, 0.1 * std::sin(-0.4363323129985824) * (-5.0 / 3) * 0.95, 1e-12);
    random.uniforms.assign(600, 1.0);  // no leaps
    for (int i = 0; i < 600; ++i) act.update(1.0 / 60, 1.0);
    EXPECT_GT(std::abs(act.angle), 0.7853981633974483);
    EXPECT_LE(std::abs(act.angle), 1.3089969389957472);

    TrapezeAct leaper(0, 100, 80, random);
    leaper.angle = -1.2;
    leaper.angleV = 0.5;
    random.uniforms = {0.0};
    leaper.update(0.01, 0.5);
    EXPECT_FALSE(leaper.fleaOnLeft);
    EXPECT_LT(leaper.angleV, 0);

    leaper.angle = 0;
    leaper.draw(canvas, particles);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 4 + 2 + kFleaOps);
    EXPECT_EQ(lineOf(ops[4]).first, (Point{80, 35}));
    EXPECT_EQ(lineOf(ops[5]).first, (Point{66, 70}));
    // Facing −1 on the right post: the head sits to −x of the body.
    EXPECT_LT(ops[7].rect.x, ops[6].rect.x);
}

TEST_F(ActsTest, UnicycleRidesWrapsAndTurnsItsWheel) {
    UnicycleAct act(200, 100);
    act.update(10, 0);
    EXPECT_NEAR(act.position, 0.6, 1e-12);  // 100 s per ride at zero energy
    act.position = 0.99;
    act.update(0.1, 1);
    EXPECT_EQ(act.position, 0);
    EXPECT_NEAR(act.lean, 0, 1e-12);
    act.position = 0.125;
    act.update(0, 0);
    EXPECT_NEAR(act.lean, 8, 1e-12);

    act.position = 0.5;
    act.wheelAngle = 90;
    act.draw(canvas, particles);
    const auto& all = canvas.ops();
    ASSERT_GE(all.size(), 6u);
    EXPECT_EQ(all[1].kind, RecordedOp::Kind::translate);
    EXPECT_EQ(all[1].dx, 200);
    EXPECT_EQ(all[1].dy, 91);
    EXPECT_NEAR(all[2].angle, std::numbers::pi / 6, 1e-12);  // six spokes look alike turned by 90° or 30°
    EXPECT_EQ(all[4].path.elements().size(), 12u);           // six spokes
    EXPECT_EQ(canvas.saveDepth(), 0);
}

TEST_F(ActsTest, JugglerDropsAndRecoversAndSparklesOnlyWhenBoosted) {
    JugglingAct act(100, 100, random);
    act.update(0.1, 0.01);
    EXPECT_TRUE(act.dropped);
    EXPECT_NEAR(act.dropVY[0], -20 + 18, 1e-12);
    for (int i = 0; i < 100; ++i) act.update(0.1, 0.0);
    EXPECT_EQ(act.dropY[2], 30);
    act.draw(canvas, particles);
    expectRect(
        canvas.drawingOps().back().rect,
        {100 + 18 * std::sin(std::fmod(act.phase + 4 * std::numbers::pi / 3, 2 * std::numbers::pi)) - 4, 96,
         8, 8});
    act.update(0.1, 0.02);
    EXPECT_FALSE(act.dropped);

    for (int i = 0; i < 5; ++i) act.onInput(0.3);
    EXPECT_NEAR(act.throwBoost, 0.15, 1e-12);
    act.onClickNearby(1);
    act.onClickNearby(1);
    EXPECT_EQ(act.throwBoost, 1);

    act.phase = 0;
    random.uniforms = {0.1, 0.9, 0.1};  // sparkle, none, sparkle
    canvas.clear();
    particles.particles.clear();
    act.draw(canvas, particles);
    EXPECT_EQ(particles.particles.size(), 2u);
    const auto ops = canvas.drawingOps();
    expectRect(ops[kFleaOps].rect, {96, 66, 8, 8});  // ball 0 in the hands at t = 0
    EXPECT_EQ(ops[kFleaOps + 1].color, Colors::bunting[1]);
}

TEST_F(ActsTest, FireBreatherFlameFollowsBurstNotEnergy) {
    FireBreatherAct act(0, 100, 100, random);
    act.update(1, 1);
    EXPECT_EQ(act.burst, 0);
    act.draw(canvas, particles);
    EXPECT_EQ(canvas.drawingOps().size(), kFleaOps + 2 + 3);  // three blobs at rest
    EXPECT_TRUE(particles.particles.empty());                 // 0.3 is not above 0.3

    act.onInput(0.3);
    EXPECT_EQ(act.burst, 0.15);
    act.onClickNearby(1);
    EXPECT_EQ(act.burst, 1);
    canvas.clear();
    random.ints = {0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 4};
    random.uniforms = {0.4};
    act.draw(canvas, particles);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), kFleaOps + 2 + 12);
    EXPECT_NEAR(ops.back().rect.x + ops.back().rect.width / 2, 30 + 12 + 50, 1e-9);  // full reach
    EXPECT_EQ(ops.back().color, Color::rgb(1, 0.867, 0));
    EXPECT_EQ(particles.particles.size(), 2u);

    FireBreatherAct narrow(0, 100, 40, random);
    narrow.burst = 1;
    canvas.clear();
    narrow.draw(canvas, particles);
    EXPECT_LT(canvas.drawingOps().back().rect.x, 42);  // the flame points back on a narrow stage
}

}  // namespace
}  // namespace tw
