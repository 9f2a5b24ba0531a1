#include "Tumblewick/stage/frame_pacer.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

// Deadlines closer than this are slept out; farther ones are left to the timer, which
// is set this much early because it may wake up to a millisecond late.
constexpr double kSleepBelowSeconds = 0.0025;
constexpr int kTimerLeadMilliseconds = 1;

}  // namespace

FramePacer::FramePacer(int framesPerSecond) : period_(1.0 / std::max(framesPerSecond, 1)) {}

FramePacer::Plan FramePacer::plan(double now, double lastProcessed) const {
    const double wait = lastProcessed + period_ - now;
    if (!(wait > 0)) return {};
    if (wait < kSleepBelowSeconds) return {0, wait};
    return {static_cast<int>(std::floor(wait * 1000)) - kTimerLeadMilliseconds, 0};
}

}  // namespace tw
