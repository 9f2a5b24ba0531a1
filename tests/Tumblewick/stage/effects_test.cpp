#include <gtest/gtest.h>

#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/floating_text.h"
#include "Tumblewick/stage/gear.h"
#include "Tumblewick/stage/particle_system.h"
#include "Tumblewick/stage/shockwave.h"
#include "Tumblewick/stage/ui_fonts.h"
#include "stage_test_support.h"

namespace tw {
namespace {

using testing::expectPoint;
using testing::expectRect;
using testing::lineOf;

TEST(ParticleSystem, BurstsStayInsideTheirRanges) {
    SeededRandomSource random(7);
    ParticleSystem system(random);
    system.clickBurst(100, 50);
    ASSERT_EQ(system.particles.size(), 25u);
    std::set<std::string> shapes;
    for (const auto& p : system.particles) {
        const double speed = std::hypot(p.vx, p.vy + 60);
        EXPECT_GE(speed, 50 - 1e-9);
        EXPECT_LE(speed, 140 + 1e-9);
        EXPECT_GE(p.life, 0.6);
        EXPECT_LE(p.maxLife, 1.2);
        shapes.insert(p.shape);
    }
    EXPECT_EQ(shapes, (std::set<std::string>{"s", "r", "c"}));

    system.particles.clear();
    system.sparkle(10, 10, 40);
    system.confetti(10, 10, 0);
    system.confetti(10, 10, -3);
    ASSERT_EQ(system.particles.size(), 40u);
    for (const auto& p : system.particles) {
        EXPECT_LE(std::abs(p.x - 10), 3);
        EXPECT_EQ(p.shape, "s");
        EXPECT_TRUE(p.color == Colors::gold || p.color == Color::rgb(1.0, 0.97, 0.86));
    }
}

TEST(ParticleSystem, UpdateIntegratesAndDampsOncePerFrame) {
    ParticleSystem system;
    system.particles.push_back(Particle{0, 0, 100, 0, 0.5, 1, Colors::gold, 2, "c"});
    system.update(0.4);
    ASSERT_EQ(system.particles.size(), 1u);
    EXPECT_NEAR(system.particles[0].life, 0.1, 1e-12);
    EXPECT_NEAR(system.particles[0].x, 40, 1e-12);  // moved with the old velocity
    EXPECT_NEAR(system.particles[0].vy, 32, 1e-12);
    system.update(0.4);
    EXPECT_TRUE(system.particles.empty());

    system.particles.push_back(Particle{0, 0, 100, 0, 100, 100, Colors::gold, 2, "c"});
    system.update(0.5);
    EXPECT_EQ(system.particles[0].y, 0);
    EXPECT_EQ(system.particles[0].vy, 40);
    system.update(0.5);
    EXPECT_EQ(system.particles[0].y, 20);
    system.update(0.001);
    EXPECT_NEAR(system.particles[0].vx, 91.2673, 1e-9);  // 100 × 0.97³ whatever dt is
}

TEST(ParticleSystem, DrawShrinksFadesAndSkipsTinyParticles) {
    ParticleSystem system;
    system.particles = {
        Particle{0, 0, 0, 0, 0.3, 1, Colors::gold, 1, "c"},          // s = 0.3: not drawn
        Particle{5, 5, 0, 0, 0.3, 1, Colors::gold, 2, "c"},          // s = 0.6
        Particle{10, 10, 0, 0, 0.5, 1, Colors::bunting[0], 4, "r"},  // s = 2
        Particle{20, 20, 0, 0, 1, 1, Colors::gold, 2, "s"},
        Particle{0, 0, 0, 0, 0, 0, Colors::gold, 2, "c"},  // no maxLife: skipped, no NaN paint
    };
    RecordingCanvas canvas;
    system.draw(canvas);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 1u + 1u + 4u);
    expectRect(ops[0].rect, {5 - 0.6, 5 - 0.6, 1.2, 1.2});
    EXPECT_DOUBLE_EQ(ops[0].color.alpha, 0.3);
    EXPECT_EQ(ops[1].kind, RecordedOp::Kind::fillRect);
    expectRect(ops[1].rect, {8, 10 - 1.2, 4, 2.4});
    EXPECT_EQ(ops[1].color, Colors::bunting[0].withAlpha(0.5));
    auto [from, to] = lineOf(ops[5]);
    expectPoint(from, {20 - 1.4, 20 + 1.4});
    expectPoint(to, {20 + 1.4, 20 - 1.4});
    EXPECT_EQ(ops[5].lineWidth, 2);
}

TEST(Shockwave, GrowsDiesAndDrawsTwoRingsWhileYoung) {
    Shockwave wave{10, 20};
    wave.update((180 - 5) / 300.0);
    EXPECT_TRUE(wave.alive);
    wave.update(0.001);
    EXPECT_FALSE(wave.alive);

    Shockwave mid{10, 20, 90};
    RecordingCanvas canvas;
    mid.draw(canvas);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 2u);
    expectRect(ops[0].rect, {-80, -70, 180, 180});
    EXPECT_EQ(ops[0].lineWidth, 1);
    EXPECT_EQ(ops[0].color, Colors::clickRing.withAlpha(0.5));
    EXPECT_NEAR(ops[1].rect.width, 126, 1e-9);
    EXPECT_EQ(ops[1].lineWidth, 1);

    canvas.clear();
    Shockwave{0, 0, 150}.draw(canvas);
    EXPECT_EQ(canvas.drawingOps().size(), 1u);
}

TEST(FloatingText, RisesShrinksLateAndDrawsOutlinedWithShadow) {
    FloatingText text{.x = 5, .y = 100, .text = "+18", .color = Colors::gold, .life = 1.2};
    EXPECT_EQ(text.fontSize(), 24);
    text.update(0.6);
    EXPECT_NEAR(text.y, 73, 1e-12);
    EXPECT_NEAR(text.vy, -43.2, 1e-12);
    EXPECT_EQ(text.fontSize(), 24);
    text.life = 0.45;
    EXPECT_NEAR(text.fontSize(), 18, 1e-12);
    text.life = 0.1;
    EXPECT_EQ(text.fontSize(), 14);

    RecordingCanvas canvas;
    text.life = 0.6;
    text.draw(canvas);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].point, (Point{5, 73}));
    EXPECT_EQ(ops[0].textStyle.font, UIFonts::system(24));
    EXPECT_EQ(ops[0].textStyle.color, Colors::gold.withAlpha(0.5));
    EXPECT_EQ(ops[0].textStyle.outlineColor, Color::white(0, 0.4));
    ASSERT_TRUE(ops[0].shadow);
    EXPECT_EQ(*ops[0].shadow, (Shadow{2, 2, 3, Color::white(0, 0.35)}));
    EXPECT_EQ(canvas.saveDepth(), 0);

    text.update(0.6);
    EXPECT_FALSE(text.alive);
}

TEST(Gear, SpinsWithEnergyJoltsAndDrawsEveryTooth) {
    Gear gear{.x = 50, .y = 60, .radius = 20, .teeth = 8};
    gear.onInput(1);
    EXPECT_EQ(gear.angle, 15);
    gear.update(0.5, 0.5);
    EXPECT_EQ(gear.angle, 105);
    EXPECT_EQ(gear.spin, 180);

    RecordingCanvas canvas;
    gear.draw(canvas);
    const auto ops = canvas.drawingOps();
    ASSERT_EQ(ops.size(), 8u + 3u);
    const auto& tooth = ops[2].path.elements();  // i = 2: a = π/2
    expectPoint(tooth[0].points[0], {0, 17}, 1e-9);
    expectPoint(tooth[1].points[0], {0, 23}, 1e-9);
    expectRect(ops[8].rect, {-8, -8, 16, 16});
    EXPECT_EQ(ops[10].kind, RecordedOp::Kind::strokeEllipse);
    EXPECT_EQ(canvas.saveDepth(), 0);

    canvas.clear();
    Gear{.radius = 10, .teeth = 0}.draw(canvas);
    EXPECT_EQ(canvas.drawingOps().size(), 3u);
}

}  // namespace
}  // namespace tw
