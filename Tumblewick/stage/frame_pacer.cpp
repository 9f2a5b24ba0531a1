#include "Tumblewick/stage/frame_pacer.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

// Deadlines closer than this are slept out. Farther ones are left to the timer, set to
// the whole millisecond at or after the deadline: it never wakes early, and a frame run
// up to a millisecond late is still stamped with its deadline. Waking early and sleeping
// out the rest would cost a second wakeup every frame.
constexpr double kPreciseBelowSeconds = 0.0002;

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
    // A wait a rounding error over a whole millisecond is that millisecond, not the next.
    return {static_cast<int>(std::ceil(wait * 1000 - 1e-6)), deadline};
}

}  // namespace tw
