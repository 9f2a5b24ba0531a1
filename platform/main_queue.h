#pragma once
// The main thread's queue: immediate, delayed and repeating work. Realised on the
// Qt event loop in the app and by a manual queue with virtual time in tests.
#include <cstdint>
#include <functional>

namespace tw {

using TaskId = std::uint64_t;

class MainQueue {
   public:
    virtual ~MainQueue() = default;
    // Thread-safe: may be called from any thread; the work runs on the main thread.
    virtual void post(std::function<void()> work) = 0;
    // Main thread only.
    virtual TaskId postAfter(double seconds, std::function<void()> work) = 0;
    virtual TaskId repeat(double intervalSeconds, std::function<void()> work) = 0;
    virtual void cancel(TaskId id) = 0;
};

}  // namespace tw
