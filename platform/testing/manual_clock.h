#pragma once
// A clock that moves only when the test says so.
#include <atomic>

#include "platform/clock.h"

namespace tw::testing {

class ManualClock final : public Clock {
   public:
    explicit ManualClock(Date start = Date{800000000.0}) : now_(start.seconds) {}
    Date now() const override { return Date{now_.load()}; }
    double monotonic() const override { return now_.load() - start_; }
    void set(Date date) { now_.store(date.seconds); }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

   private:
    std::atomic<double> now_;
    double start_ = now_.load();
};

}  // namespace tw::testing
