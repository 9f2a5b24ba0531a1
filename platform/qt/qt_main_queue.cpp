#include "platform/qt/qt_main_queue.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace tw {

namespace {
int toMilliseconds(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    return static_cast<int>(std::min(seconds * 1000.0, 2.0e9));
}
}  // namespace

QtMainQueue::QtMainQueue(QObject* parent) : QObject(parent) {}

QtMainQueue::~QtMainQueue() {
    for (auto& [id, timer] : timers_) delete timer;
}

void QtMainQueue::post(std::function<void()> work) {
    // Queued invocation is thread-safe and runs on this object's thread.
    QMetaObject::invokeMethod(
        this, [work = std::move(work)]() { work(); }, Qt::QueuedConnection);
}

TaskId QtMainQueue::postAfter(double seconds, std::function<void()> work) {
    return schedule(seconds, false, std::move(work));
}

TaskId QtMainQueue::repeat(double intervalSeconds, std::function<void()> work) {
    return schedule(intervalSeconds, true, std::move(work));
}

TaskId QtMainQueue::schedule(double seconds, bool repeating, std::function<void()> work) {
    const TaskId id = next_++;
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeating);
    timer->setInterval(toMilliseconds(seconds));
    auto shared = std::make_shared<std::function<void()>>(std::move(work));
    connect(timer, &QTimer::timeout, this, [this, id, repeating, shared]() {
        if (!repeating) {
            // Forget the timer before running, so the work may schedule or cancel freely.
            auto it = timers_.find(id);
            if (it != timers_.end()) {
                it->second->deleteLater();
                timers_.erase(it);
            }
        }
        (*shared)();
    });
    timers_[id] = timer;
    timer->start();
    return id;
}

void QtMainQueue::cancel(TaskId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

}  // namespace tw
