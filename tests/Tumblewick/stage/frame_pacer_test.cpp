// The frame pacer against a timer that only counts whole milliseconds and wakes a
// little late, with the stage's strict throttle on frames stamped with their deadlines
// (FrameClock): the delivered rate stays at target however late frames run.
#include "Tumblewick/stage/frame_pacer.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

struct Delivery {
    double rate = 0;  // processed frames per second
    int dropped = 0;  // ticks the throttle refused
};

// Simulates `seconds` of ticks from a grid at `start`, each frame run up to `runLate`
// after its deadline.
Delivery deliver(int fps, double start, double seconds, double runLate, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> timerLate(0, 0.0009);  // wake-up latency
    std::uniform_real_distribution<double> late(0, runLate);
    std::uniform_real_distribution<double> work(0.0005, 0.004);  // update and paint
    const FramePacer pacer(fps, start);
    double now = start;
    double lastProcessed = start;
    Delivery delivery;
    int processed = 0;
    while (now - start < seconds) {
        const auto plan = pacer.plan(now, lastProcessed);
        if (plan.timerMilliseconds > 0) {
            now += plan.timerMilliseconds / 1000.0 + timerLate(random);
            continue;  // the tick re-plans
        }
        now = std::max(now, plan.waitUntil) + late(random);
        // The stage's throttle, on the frame's media time.
        if (plan.waitUntil - lastProcessed >= 1.0 / fps) {
            lastProcessed = plan.waitUntil;
            ++processed;
        } else {
            ++delivery.dropped;
        }
        now += work(random);
    }
    delivery.rate = processed / (lastProcessed - start);
    return delivery;
}

TEST(FramePacerTest, DeliversTheTargetRate) {
    struct Case {
        const char* name;
        double start;
        double runLate;
    };
    const Case cases[] = {
        {"on time", 1000, 2e-6},
        // Each late frame used to push every later one back, a frame lost each half period.
        {"run up to 3 ms late", 1000, 0.003},
        {"grid far from zero", 123456.789, 0.001},
    };
    for (const auto& c : cases) {
        for (const int fps : {24, 30, 60, 120}) {
            const auto d = deliver(fps, c.start, 60, c.runLate, static_cast<std::uint64_t>(fps));
            EXPECT_NEAR(d.rate, fps, 0.0005 * fps) << c.name << " " << fps;
            EXPECT_LE(d.rate, fps + 0.01) << c.name << " " << fps;  // never faster than the throttle allows
            EXPECT_EQ(d.dropped, 0) << c.name << " " << fps;
        }
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
        // 1 + 8·0.02 minus 1 + 7·0.02 is a hair under 0.02 in doubles.
        {"grid point short of a period by rounding", 1.0 + 7 * 0.02, 1.145, 1.16},
    };
    for (const auto& c : cases) {
        const double deadline = frameDeadline(1.0, 0.02, c.lastProcessed, c.now);
        EXPECT_NEAR(deadline, c.deadline, 1e-9) << c.name;
        EXPECT_GE(deadline - c.lastProcessed, 0.02) << c.name;
    }
}

TEST(FramePacerTest, WakesAtTheDeadlineAndSleepsOnlyASliver) {
    const FramePacer pacer(50, 1.0);  // 20 ms frames
    struct Case {
        double now;
        FramePacer::Plan plan;
    };
    const Case cases[] = {
        {1.0031, {17, 1.02}},  // 16.9 ms left: the whole millisecond after the deadline
        {1.0180, {2, 1.02}},   // 2 ms left: still the timer
        {1.01985, {0, 1.02}},  // under 0.2 ms: slept out
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
