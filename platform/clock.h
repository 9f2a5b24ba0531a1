#pragma once
// Wall clock and monotonic clock behind one interface so tests drive time by hand.
#include "platform/date.h"

namespace tw {

class Clock {
   public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
    // Seconds from an arbitrary origin; never goes backwards.
    virtual double monotonic() const = 0;
};

class SystemClock final : public Clock {
   public:
    Date now() const override;
    double monotonic() const override;
};

}  // namespace tw
