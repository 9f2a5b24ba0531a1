#include "platform/clock.h"

#include <chrono>

namespace tw {

Date SystemClock::now() const {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date::fromUnix(std::chrono::duration<double>(sinceEpoch).count());
}

double SystemClock::monotonic() const {
    const auto sinceOrigin = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceOrigin).count();
}

}  // namespace tw
