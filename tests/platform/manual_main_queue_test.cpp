#include "platform/testing/manual_main_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tw::testing {
namespace {

TEST(ManualMainQueueTest, TimersRunInDueOrderEachAtItsOwnTime) {
    ManualMainQueue queue;
    std::vector<std::string> log;
    auto note = [&](const std::string& what) {
        return [&, what] { log.push_back(what + "@" + std::to_string(queue.now())); };
    };
    queue.postAfter(3, note("c"));
    queue.postAfter(1, note("a"));
    queue.repeat(2, note("r"));
    queue.postAfter(1, [&] {
        log.push_back("b@" + std::to_string(queue.now()));
        queue.post(note("posted"));  // runs at the same virtual time
    });
    queue.advance(4.5);
    const std::vector<std::string> expected = {"a@1.000000", "b@1.000000", "posted@1.000000",
                                               "r@2.000000", "c@3.000000", "r@4.000000"};
    EXPECT_EQ(log, expected);
    EXPECT_DOUBLE_EQ(queue.now(), 4.5);
    EXPECT_EQ(queue.scheduledCount(), 1u);  // the repeating timer
}

TEST(ManualMainQueueTest, CancelWorksFromInsideTheRunningTask) {
    ManualMainQueue queue;
    int ticks = 0;
    TaskId id = 0;
    id = queue.repeat(1, [&] {
        if (++ticks == 3) queue.cancel(id);
    });
    TaskId later = queue.postAfter(2.5, [&] { ticks += 100; });
    queue.postAfter(2, [&] { queue.cancel(later); });
    queue.advance(10);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(queue.scheduledCount(), 0u);
}

TEST(ManualMainQueueTest, RunPendingRunsPostsAndTimersDueNowOnly) {
    ManualMainQueue queue;
    int ran = 0;
    queue.post([&] {
        ++ran;
        queue.post([&] { ++ran; });
    });
    queue.postAfter(0, [&] { ++ran; });
    queue.postAfter(0.5, [&] { ran += 100; });
    EXPECT_EQ(queue.runPending(), 3);
    EXPECT_EQ(ran, 3);
    EXPECT_EQ(queue.now(), 0);
}

TEST(ManualMainQueueTest, WaitAndRunPicksUpWorkPostedFromAnotherThread) {
    ManualMainQueue queue;
    bool ran = false;
    std::thread poster([&] { queue.post([&] { ran = true; }); });
    EXPECT_TRUE(queue.waitAndRun(5));
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(queue.waitAndRun(0.01));
}

}  // namespace
}  // namespace tw::testing
