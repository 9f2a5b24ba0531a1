#pragma once
// A main queue with virtual time: nothing runs until the test pumps it.
// post() is thread-safe so background executors can deliver into it.
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/main_queue.h"

namespace tw::testing {

class ManualMainQueue final : public MainQueue {
   public:
    void post(std::function<void()> work) override;
    TaskId postAfter(double seconds, std::function<void()> work) override;
    TaskId repeat(double intervalSeconds, std::function<void()> work) override;
    void cancel(TaskId id) override;

    // Runs everything posted for "now" (including work posted while running). Returns how many ran.
    int runPending();
    // Moves virtual time forward, running due timers in time order and pending posts.
    void advance(double seconds);
    double now() const { return now_; }
    std::size_t scheduledCount() const;
    // Waits (real time, up to `timeoutSeconds`) until something is posted from another
    // thread, then runs pending work. Returns false on time-out.
    bool waitAndRun(double timeoutSeconds = 5.0);

   private:
    struct Timer {
        double due;
        double interval;  // 0: one-shot
        std::function<void()> work;
    };
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<std::function<void()>> immediate_;
    std::map<TaskId, Timer> timers_;
    TaskId next_ = 1;
    double now_ = 0;
};

}  // namespace tw::testing
