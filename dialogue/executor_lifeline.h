#pragma once
// How a late completion (a model answer, a cache reply) gets back onto a service
// object's executor without keeping the object alive: the owner closes the lifeline
// in its destructor, and work posted after that is dropped instead of touching it.
#include <functional>
#include <mutex>

#include "platform/serial_executor.h"

namespace tw {

class ExecutorLifeline {
   public:
    explicit ExecutorLifeline(SerialExecutor& executor) : executor_(&executor) {}

    // Runs `work` on the owner's executor, or drops it when the owner is going away.
    void post(std::function<void()> work) {
        // Recursive: an inline executor runs the work, which may post again, under the lock.
        std::lock_guard lock(mutex_);
        if (executor_) executor_->execute(std::move(work));
    }

    // Called by the owner before it drains its executor: nothing new gets in after this.
    void close() {
        std::lock_guard lock(mutex_);
        executor_ = nullptr;
    }

   private:
    std::recursive_mutex mutex_;
    SerialExecutor* executor_;
};

}  // namespace tw
