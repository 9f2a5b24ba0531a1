#pragma once
// Serialized service objects: each owns a SerialExecutor, so its state is touched by
// one job at a time, in submission order, off the main thread.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/main_queue.h"

namespace tw {

class SerialExecutor {
   public:
    virtual ~SerialExecutor() = default;
    virtual void execute(std::function<void()> job) = 0;
    // Blocks until every job submitted so far has run (tests, shutdown).
    virtual void drain() = 0;
};

// One worker thread; the destructor drains the queue and joins.
class ThreadSerialExecutor final : public SerialExecutor {
   public:
    ThreadSerialExecutor();
    ~ThreadSerialExecutor() override;
    void execute(std::function<void()> job) override;
    void drain() override;

   private:
    void run();
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool running_job_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

// Runs each job at once on the caller's thread (deterministic tests).
class InlineSerialExecutor final : public SerialExecutor {
   public:
    void execute(std::function<void()> job) override { job(); }
    void drain() override {}
};

// Runs `work` on the executor and hands its result to `done` on the main queue.
template <typename Result>
void runThenDeliver(SerialExecutor& executor, MainQueue& main, std::function<Result()> work,
                    std::function<void(Result)> done) {
    executor.execute([&main, work = std::move(work), done = std::move(done)]() mutable {
        auto result = std::make_shared<Result>(work());
        main.post([done = std::move(done), result]() mutable { done(std::move(*result)); });
    });
}

}  // namespace tw
