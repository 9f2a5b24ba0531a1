// The frame pacer against a timer that only counts whole milliseconds and wakes a
// little late, with the stage's strict throttle: the delivered rate stays at target.
#include "Tumblewick/stage/frame_pacer.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

// Simulates `seconds` of ticks, the last stretch to each deadline waited out to within
// `waitLate`; returns processed frames per second.
double deliveredRate(int fps, double seconds, double waitLate, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> timerLate(0, 0.0009);  // wake-up latency
    std::uniform_real_distribution<double> late(0, waitLate);
    std::uniform_real_distribution<double> work(0.0005, 0.004);  // update and paint
    const double start = 1000;
    const FramePacer pacer(fps, start);
    double now = start;
    double lastProcessed = start;
    int processed = 0;
    while (now - start < seconds) {
        const auto plan = pacer.plan(now, lastProcessed);
        if (plan.timerMilliseconds > 0) {
            now += plan.timerMilliseconds / 1000.0 + timerLate(random);
            continue;  // the tick re-plans
        }
        now = std::max(now, plan.waitUntil + late(random));
        // The stage's throttle.
        if (now - lastProcessed >= 1.0 / fps) {
            lastProcessed = now;
            ++processed;
        }
        now += work(random);
    }
    return processed / (lastProcessed - start);
}

TEST(FramePacerTest, DeliversTheTargetRate) {
    for (const int fps : {24, 30, 60, 120}) {
        // Waited out to a couple of microseconds, the rate rounds to the target.
        const double rate = deliveredRate(fps, 60, 2e-6, static_cast<std::uint64_t>(fps));
        EXPECT_NEAR(rate, fps, 0.0005 * fps) << fps;
        EXPECT_LE(rate, fps + 0.01);  // never faster than the throttle allows
    }
}

TEST(FramePacerTest, DeadlinesStayOnTheGridAndRespectTheThrottle) {
    // 20 ms frames on a grid from t = 1.
    struct Case {
        const char* name;
        double lastProcessed;
        double now;
        double deadline;
    };
    const Case cases[] = {
        {"on time", 1.0, 1.005, 1.020},
        {"early frame: the next grid point", 0.9995, 1.005, 1.020},
        {"late frame: held back to the throttle", 1.0004, 1.005, 1.0204},
        {"very late frame: the grid point after", 1.012, 1.015, 1.040},
        {"far behind: whole periods skipped", 1.0, 1.075, 1.060},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(frameDeadline(1.0, 0.02, c.lastProcessed, c.now), c.deadline, 1e-9) << c.name;
    }
}

TEST(FramePacerTest, WakesEarlyThenWaitsOutTheRest) {
    const FramePacer pacer(50, 1.0);  // 20 ms frames
    struct Case {
        double now;
        FramePacer::Plan plan;
    };
    const Case cases[] = {
        {1.0031, {15, 1.02}},  // 16.9 ms left: wake a millisecond before the 16th
        {1.0180, {0, 1.02}},   // under 2.5 ms: waited out
        {1.0200, {0, 1.02}},   // due: run now
        {1.0350, {0, 1.02}},   // overdue
    };
    for (const auto& c : cases) {
        const auto plan = pacer.plan(c.now, 1.0);
        EXPECT_EQ(plan.timerMilliseconds, c.plan.timerMilliseconds) << c.now;
        EXPECT_NEAR(plan.waitUntil, c.plan.waitUntil, 1e-9) << c.now;
    }
}

}  // namespace
}  // namespace tw
