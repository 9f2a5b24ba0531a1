#include "platform/testing/manual_main_queue.h"

#include <chrono>
#include <limits>
#include <optional>
#include <utility>

namespace tw::testing {

namespace {
// A repeating timer with no interval would run forever inside one advance().
constexpr double kMinimumInterval = 1e-3;
}  // namespace

void ManualMainQueue::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        immediate_.push_back(std::move(work));
    }
    posted_.notify_all();
}

TaskId ManualMainQueue::postAfter(double seconds, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    const TaskId id = next_++;
    const double delay = seconds > 0 ? seconds : 0;
    timers_.emplace(id, Timer{now_ + delay, 0, std::move(work)});
    return id;
}

TaskId ManualMainQueue::repeat(double intervalSeconds, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    const TaskId id = next_++;
    const double interval = intervalSeconds >= kMinimumInterval ? intervalSeconds : kMinimumInterval;
    timers_.emplace(id, Timer{now_ + interval, interval, std::move(work)});
    return id;
}

void ManualMainQueue::cancel(TaskId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

std::size_t ManualMainQueue::scheduledCount() const {
    std::lock_guard lock(mutex_);
    return timers_.size();
}

namespace {

// The timer due first at or before `limit`; ties go to the one scheduled first.
template <typename Timers>
std::optional<TaskId> earliestDue(const Timers& timers, double limit) {
    std::optional<TaskId> best;
    double bestDue = std::numeric_limits<double>::infinity();
    for (const auto& [id, timer] : timers) {
        if (timer.due <= limit && timer.due < bestDue && timer.work) {
            best = id;
            bestDue = timer.due;
        }
    }
    return best;
}

}  // namespace

// Runs one timer due at or before `limit`; false when none is due. The work runs
// outside the lock and outside the map, so it may cancel itself or post more.
static bool runOneTimer(std::mutex& mutex, auto& timers, double& now, double limit) {
    std::function<void()> work;
    TaskId id = 0;
    double interval = 0;
    {
        std::lock_guard lock(mutex);
        auto due = earliestDue(timers, limit);
        if (!due) return false;
        id = *due;
        auto it = timers.find(id);
        if (it->second.due > now) now = it->second.due;
        interval = it->second.interval;
        work = std::move(it->second.work);
        if (interval == 0) {
            timers.erase(it);
        } else {
            it->second.work = nullptr;  // parked while it runs
        }
    }
    auto rearm = [&] {
        if (interval == 0) return;
        std::lock_guard lock(mutex);
        auto it = timers.find(id);
        if (it == timers.end()) return;  // cancelled while running
        it->second.work = std::move(work);
        it->second.due += interval;
    };
    try {
        work();
    } catch (...) {
        rearm();
        throw;
    }
    rearm();
    return true;
}

int ManualMainQueue::runPending() {
    int count = 0;
    for (;;) {
        std::vector<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex_);
            batch.swap(immediate_);
        }
        if (!batch.empty()) {
            for (auto& work : batch) {
                work();
                ++count;
            }
            continue;
        }
        // Timers due by now (postAfter(0)) count as posted for now.
        if (!runOneTimer(mutex_, timers_, now_, now_)) break;
        ++count;
    }
    return count;
}

void ManualMainQueue::advance(double seconds) {
    double target = 0;
    {
        std::lock_guard lock(mutex_);
        target = now_ + (seconds > 0 ? seconds : 0);
    }
    runPending();
    while (runOneTimer(mutex_, timers_, now_, target)) {
        runPending();
    }
    {
        std::lock_guard lock(mutex_);
        now_ = target;
    }
    runPending();
}

bool ManualMainQueue::waitAndRun(double timeoutSeconds) {
    {
        std::unique_lock lock(mutex_);
        const auto timeout = std::chrono::duration<double>(timeoutSeconds > 0 ? timeoutSeconds : 0);
        if (!posted_.wait_for(lock, timeout, [this] { return !immediate_.empty(); })) return false;
    }
    runPending();
    return true;
}

}  // namespace tw::testing
