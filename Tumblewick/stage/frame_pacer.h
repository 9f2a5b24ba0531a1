#pragma once
// When the next frame-loop tick should come. Frames are aimed at a fixed grid, frame n
// at start + n·period, so that lateness is never carried from frame to frame. The
// stage's throttle drops any tick that comes less than one period after the last
// processed frame, so a grid point that comes too soon after a late frame is held back
// to the throttle's instant. The millisecond timer is set to wake at or just after the
// deadline; only a remainder too short for it is slept out. Each frame's
// media time is its deadline (FrameClock), so a frame the event loop ran late is still
// a whole period after the one before for the throttle, and the next is not held back.
#include <algorithm>

#include "platform/clock.h"

namespace tw {

// The deadline of the frame after one processed at `lastProcessed`: the grid point
// nearest to one period later, but no earlier than that (the throttle's instant), and
// moved on by whole periods while it is more than a period behind `now`. Always at
// least `period` after `lastProcessed` as the throttle subtracts them, in floating point.
double frameDeadline(double start, double period, double lastProcessed, double now);

class FramePacer {
   public:
    // `start` anchors the grid (media time).
    FramePacer(int framesPerSecond, double start);

    struct Plan {
        int timerMilliseconds = 0;  // arm the timer for this long and plan again then
        double waitUntil = 0;       // otherwise wait until this media time (maybe past) and run the frame
        friend bool operator==(const Plan&, const Plan&) = default;
    };

    // What to do at `now` (media time) given the media time of the last processed frame.
    Plan plan(double now, double lastProcessed) const;
    double period() const { return period_; }

   private:
    double period_;
    double start_;
};

// The stage's media time: the deadline of the frame being processed, not the instant
// it happens to run. Never goes backwards; starts at the system's time.
class FrameClock final : public Clock {
   public:
    explicit FrameClock(const Clock& system) : system_(system), mediaTime_(system.monotonic()) {}
    Date now() const override { return system_.now(); }
    double monotonic() const override { return mediaTime_; }
    void advanceTo(double mediaTime) { mediaTime_ = std::max(mediaTime_, mediaTime); }

   private:
    const Clock& system_;
    double mediaTime_;
};

}  // namespace tw
