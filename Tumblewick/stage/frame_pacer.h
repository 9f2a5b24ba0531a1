#pragma once
// When the next frame-loop tick should come. The stage's throttle drops any tick that
// comes less than one frame period after the last processed frame, so a timer that
// fires a fraction of a millisecond early loses a whole frame (a plain 16 ms timer at
// 60 frames per second delivers 30), and one that fires late loses that time for good.
// So the pacer aims at the next deadline (one period after the last processed frame):
// the millisecond timer is set to wake a little before it, and the rest, under a
// couple of milliseconds, is slept out precisely.
namespace tw {

class FramePacer {
   public:
    explicit FramePacer(int framesPerSecond);

    struct Plan {
        int timerMilliseconds = 0;  // arm the timer for this long and plan again then
        double sleepSeconds = 0;    // otherwise sleep this long (maybe 0) and run the frame
        friend bool operator==(const Plan&, const Plan&) = default;
    };

    // What to do at `now` (media time) given the media time of the last processed frame.
    Plan plan(double now, double lastProcessed) const;
    double period() const { return period_; }

   private:
    double period_;
};

}  // namespace tw
