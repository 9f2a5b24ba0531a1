#pragma once
// The main queue on the Qt event loop of the thread that creates it.
#include <QObject>
#include <QTimer>
#include <map>

#include "platform/main_queue.h"

namespace tw {

class QtMainQueue final : public QObject, public MainQueue {
    Q_OBJECT
   public:
    explicit QtMainQueue(QObject* parent = nullptr);
    ~QtMainQueue() override;

    void post(std::function<void()> work) override;
    TaskId postAfter(double seconds, std::function<void()> work) override;
    TaskId repeat(double intervalSeconds, std::function<void()> work) override;
    void cancel(TaskId id) override;

   private:
    TaskId schedule(double seconds, bool repeating, std::function<void()> work);
    std::map<TaskId, QTimer*> timers_;
    TaskId next_ = 1;
};

}  // namespace tw
