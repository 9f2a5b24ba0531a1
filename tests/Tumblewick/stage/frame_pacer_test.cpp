// The frame pacer against a timer that only counts whole milliseconds and wakes a
// little late, with the stage's strict throttle: the delivered rate stays at target.
#include "Tumblewick/stage/frame_pacer.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

// Simulates `seconds` of ticks; returns processed frames per second.
double deliveredRate(int fps, double seconds, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> timerLate(0, 0.0009);  // wake-up latency
    std::uniform_real_distribution<double> sleepLate(0, 0.0001);
    std::uniform_real_distribution<double> work(0.0005, 0.004);  // update and paint
    const double start = 1000;
    const FramePacer pacer(fps);
    double now = start;
    double lastProcessed = start;
    int processed = 0;
    while (now - start < seconds) {
        const auto plan = pacer.plan(now, lastProcessed);
        if (plan.timerMilliseconds > 0) {
            now += plan.timerMilliseconds / 1000.0 + timerLate(random);
            continue;  // the tick re-plans
        }
        now += plan.sleepSeconds + (plan.sleepSeconds > 0 ? sleepLate(random) : 0);
        // The stage's throttle.
        if (now - lastProcessed >= 1.0 / fps) {
            lastProcessed = now;
            ++processed;
        }
        now += work(random);
    }
    return processed / (now - start);
}

TEST(FramePacerTest, DeliversTheTargetRateWithinOnePercent) {
    for (const int fps : {24, 60, 120}) {
        const double rate = deliveredRate(fps, 20, static_cast<std::uint64_t>(fps));
        EXPECT_NEAR(rate, fps, 0.01 * fps) << fps;
        EXPECT_LE(rate, fps + 0.01);  // never faster than the throttle allows
    }
}

TEST(FramePacerTest, WakesEarlyThenSleepsOutTheRest) {
    const FramePacer pacer(50);  // 20 ms frames
    struct Case {
        double now;
        FramePacer::Plan plan;
    };
    const Case cases[] = {
        {1.0031, {15, 0}},     // 16.9 ms left: wake a millisecond before the 16th
        {1.0180, {0, 0.002}},  // under 2.5 ms: slept out
        {1.0200, {0, 0}},      // due: run now
        {1.0350, {0, 0}},      // overdue
    };
    for (const auto& c : cases) {
        const auto plan = pacer.plan(c.now, 1.0);
        EXPECT_EQ(plan.timerMilliseconds, c.plan.timerMilliseconds) << c.now;
        EXPECT_NEAR(plan.sleepSeconds, c.plan.sleepSeconds, 1e-9) << c.now;
    }
}

}  // namespace
}  // namespace tw
