#include "Tumblewick/stage/frame_pacer.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

// Deadlines closer than this are slept out; farther ones are left to the
// timer, which is set this much early because it may wake up to a millisecond late.
constexpr double kPreciseBelowSeconds = 0.0025;
constexpr int kTimerLeadMilliseconds = 1;

}  // namespace

double frameDeadline(double start, double period, double lastProcessed, double now) {
    const double earliest = lastProcessed + period;
    double n = std::round((earliest - start) / period);
    if (const double behind = now - (start + n * period); behind > period) n += std::floor(behind / period);
    double deadline = std::max(start + n * period, earliest);
    // A grid point one period on may subtract to a hair under the period; the throttle
    // would drop that tick and every retry of it.
    while (deadline - lastProcessed < period) deadline = std::nextafter(deadline, deadline + 1);
    return deadline;
}

FramePacer::FramePacer(int framesPerSecond, double start)
    : period_(1.0 / std::max(framesPerSecond, 1)), start_(start) {}

FramePacer::Plan FramePacer::plan(double now, double lastProcessed) const {
    const double deadline = frameDeadline(start_, period_, lastProcessed, now);
    const double wait = deadline - now;
    if (!(wait >= kPreciseBelowSeconds)) return {0, deadline};
    return {static_cast<int>(std::floor(wait * 1000)) - kTimerLeadMilliseconds, deadline};
}

}  // namespace tw
