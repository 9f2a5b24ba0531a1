#include "platform/qt/qt_main_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "qt_event_pump.h"

namespace tw {
namespace {

TEST(QtMainQueue, PostsRunInOrderAndDelayedWorkAfterImmediateWork) {
    QtMainQueue queue;
    std::vector<int> order;
    queue.postAfter(0.02, [&] { order.push_back(3); });
    queue.post([&] { order.push_back(1); });
    queue.post([&] { order.push_back(2); });
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(QtMainQueue, WorkPostedFromAnotherThreadRunsOnTheMainThread) {
    QtMainQueue queue;
    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    std::thread poster([&] {
        queue.post([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    poster.join();
    ASSERT_TRUE(pumpUntil([&] { return ran.load(); }));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(QtMainQueue, CancelStopsDelayedAndRepeatingWorkEvenFromInsideIt) {
    QtMainQueue queue;
    int delayed = 0;
    int repeats = 0;
    const TaskId once = queue.postAfter(0.01, [&] { ++delayed; });
    queue.cancel(once);
    TaskId repeating = 0;
    repeating = queue.repeat(0.005, [&] {
        if (++repeats == 3) queue.cancel(repeating);
    });
    bool waited = false;
    queue.postAfter(0.1, [&] { waited = true; });
    ASSERT_TRUE(pumpUntil([&] { return waited; }));
    EXPECT_EQ(delayed, 0);
    EXPECT_EQ(repeats, 3);
    queue.cancel(repeating);  // cancelling twice is harmless
}

}  // namespace
}  // namespace tw
