#pragma once
// The small banner that announces a flea's signature move: at most one every 30
// seconds, faded in, shown for five seconds, faded out. It also remembers the last
// accepted moment for the share card, even when there was no screen to show it on.
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/date.h"
#include "platform/main_queue.h"
#include "windows/toast/signature_toast_window.h"

namespace tw {

// Everything the toast shows and sounds with; unset parts leave it remembering only.
struct SignatureToastServices {
    const Clock* clock = nullptr;  // the system clock when unset
    MainQueue* mainQueue = nullptr;
    SignatureToastWindow* window = nullptr;
    std::function<bool()> chimeEnabled;  // read at every accepted toast; unset reads as on
    std::function<void()> playChime;     // unset: no chime
};

class TumblewickSignatureToast {
   public:
    static constexpr double minimumSpacingSeconds = 30.0;
    static constexpr double fadeInSeconds = 0.25;
    static constexpr double hideAfterSeconds = 5.0;
    static constexpr double fadeOutSeconds = 0.45;
    static constexpr double frameSeconds = 1.0 / 60.0;
    static constexpr const char* chimeSound = "complete";
    // So the very first call is always accepted.
    static constexpr Date distantPast{-63'114'076'800.0};

    explicit TumblewickSignatureToast(SignatureToastServices services = {});
    ~TumblewickSignatureToast();
    TumblewickSignatureToast(const TumblewickSignatureToast&) = delete;
    TumblewickSignatureToast& operator=(const TumblewickSignatureToast&) = delete;

    // The process's toast; the app gives it its services at launch. Main thread.
    static TumblewickSignatureToast& shared();
    void setServices(SignatureToastServices services);

    // Main thread. `flea` is the host's flea id; `actionRaw` the action's raw value.
    void surface(const std::string& flea, const std::string& actionRaw, const std::string& line);
    // surface() on the shared toast, as a plain callback for the agent host, which
    // raises the toast without knowing about windows.
    static std::function<void(const std::string&, const std::string&, const std::string&)> sharedSurface();

    const std::string& lastFlea() const { return lastFlea_; }
    const std::string& lastActionRaw() const { return lastActionRaw_; }
    const std::string& lastLine() const { return lastLine_; }
    void setLastFlea(std::string value) { lastFlea_ = std::move(value); }
    void setLastActionRaw(std::string value) { lastActionRaw_ = std::move(value); }
    void setLastLine(std::string value) { lastLine_ = std::move(value); }
    Date lastShownAt() const { return lastShownAt_; }

    // "PIP · SIGNATURE MOVE": the flea and the moment's label, upper-cased together.
    static std::string nameText(std::string_view flea, std::string_view actionRaw);
    // The window's opacity `elapsed` seconds into a fade of `duration` seconds.
    static double fadeAlpha(double elapsed, double duration, bool fadingIn);

   private:
    void show(const std::string& name, const std::string& line, bool chime);
    void fade(bool fadingIn, std::function<void()> done);
    void cancelScheduled();

    SignatureToastServices services_;
    Date lastShownAt_ = distantPast;
    std::string lastFlea_;
    std::string lastActionRaw_;
    std::string lastLine_;
    TaskId fadeTask_ = 0;
    TaskId hideTask_ = 0;
    double fadeElapsed_ = 0;
};

}  // namespace tw
