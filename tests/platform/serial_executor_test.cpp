#include "platform/serial_executor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/testing/manual_main_queue.h"

namespace tw {
namespace {

TEST(ThreadSerialExecutorTest, RunsJobsInOrderOffTheCallersThread) {
    std::vector<int> order;
    std::thread::id worker;
    ThreadSerialExecutor executor;
    for (int i = 0; i < 100; ++i) {
        executor.execute([&order, &worker, i] {
            order.push_back(i);
            worker = std::this_thread::get_id();
        });
    }
    executor.drain();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(ThreadSerialExecutorTest, AFailingJobIsLoggedAndTheWorkerKeepsGoing) {
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    bool ranAfter = false;
    {
        ThreadSerialExecutor executor;
        executor.execute([] { throw std::runtime_error("boom"); });
        executor.execute([&] { ranAfter = true; });
        executor.drain();
        log::setSinkForTesting(nullptr);
    }
    EXPECT_TRUE(ranAfter);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("boom"), std::string::npos);
}

TEST(ThreadSerialExecutorTest, DestructorRunsWhatIsQueuedIncludingJobsAddedByJobs) {
    int ran = 0;
    {
        ThreadSerialExecutor executor;
        executor.execute([&] {
            ++ran;
            executor.drain();  // from its own worker: must not deadlock
            executor.execute([&] { ++ran; });
        });
    }
    EXPECT_EQ(ran, 2);
}

TEST(ThreadSerialExecutorTest, RunThenDeliverHandsTheResultToTheMainQueue) {
    testing::ManualMainQueue main;
    ThreadSerialExecutor executor;
    std::optional<int> delivered;
    runThenDeliver<int>(
        executor, main, [] { return 41 + 1; }, [&](int value) { delivered = value; });
    ASSERT_TRUE(main.waitAndRun());
    EXPECT_EQ(delivered, 42);
}

}  // namespace
}  // namespace tw
