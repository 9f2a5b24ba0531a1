#include "windows/toast/tumblewick_signature_toast.h"

#include <algorithm>
#include <map>

#include "platform/unicode.h"

namespace tw {

TumblewickSignatureToast::TumblewickSignatureToast(SignatureToastServices services)
    : services_(std::move(services)) {}

TumblewickSignatureToast::~TumblewickSignatureToast() { cancelScheduled(); }

TumblewickSignatureToast& TumblewickSignatureToast::shared() {
    static TumblewickSignatureToast toast;
    return toast;
}

std::function<void(const std::string&, const std::string&, const std::string&)>
TumblewickSignatureToast::sharedSurface() {
    return [](const std::string& flea, const std::string& actionRaw, const std::string& line) {
        shared().surface(flea, actionRaw, line);
    };
}

void TumblewickSignatureToast::setServices(SignatureToastServices services) {
    cancelScheduled();
    services_ = std::move(services);
}

void TumblewickSignatureToast::surface(const std::string& flea, const std::string& actionRaw,
                                       const std::string& line) {
    static const SystemClock systemClock;
    const Date now = (services_.clock != nullptr ? *services_.clock : systemClock).now();
    if (now.since(lastShownAt_) < minimumSpacingSeconds) return;
    lastShownAt_ = now;
    lastFlea_ = flea;
    lastActionRaw_ = actionRaw;
    lastLine_ = line;

    if (services_.window == nullptr || services_.mainQueue == nullptr || !services_.window->ensureBuilt())
        return;
    const bool chimeOn = !services_.chimeEnabled || services_.chimeEnabled();
    show(nameText(flea, actionRaw), line, chimeOn && actionRaw == "perform_signature");
}

void TumblewickSignatureToast::show(const std::string& name, const std::string& line, bool chime) {
    cancelScheduled();
    SignatureToastWindow& window = *services_.window;
    window.setTexts(name, line);
    window.setAlpha(0);
    window.orderFront();
    if (chime && services_.playChime) services_.playChime();
    fade(true, {});
    hideTask_ = services_.mainQueue->postAfter(hideAfterSeconds, [this] {
        hideTask_ = 0;
        fade(false, [this] { services_.window->orderOut(); });
    });
}

// Frames are counted rather than timed, so virtual time and a late timer end alike:
// on the exact final opacity.
void TumblewickSignatureToast::fade(bool fadingIn, std::function<void()> done) {
    if (fadeTask_ != 0) services_.mainQueue->cancel(fadeTask_);
    fadeElapsed_ = 0;
    fadeTask_ = services_.mainQueue->repeat(frameSeconds, [this, fadingIn, done = std::move(done)] {
        const double duration = fadingIn ? fadeInSeconds : fadeOutSeconds;
        fadeElapsed_ += frameSeconds;
        services_.window->setAlpha(fadeAlpha(fadeElapsed_, duration, fadingIn));
        if (fadeElapsed_ + 1e-9 < duration) return;
        services_.mainQueue->cancel(fadeTask_);
        fadeTask_ = 0;
        if (done) done();
    });
}

void TumblewickSignatureToast::cancelScheduled() {
    if (services_.mainQueue == nullptr) return;
    if (fadeTask_ != 0) services_.mainQueue->cancel(fadeTask_);
    if (hideTask_ != 0) services_.mainQueue->cancel(hideTask_);
    fadeTask_ = hideTask_ = 0;
}

std::string TumblewickSignatureToast::nameText(std::string_view flea, std::string_view actionRaw) {
    static const std::map<std::string_view, std::string_view> kSuffixes = {
        {"perform_signature", " \u00B7 signature move"},
        {"attempt_bit", " \u00B7 brave attempt"},
        {"initiate_duet", " \u00B7 started a duet"},
        {"pre_action_ritual", " \u00B7 ritual"},
    };
    std::string text(flea);
    if (auto it = kSuffixes.find(actionRaw); it != kSuffixes.end()) {
        text += it->second;
    } else {
        text += " \u00B7 ";
        text += actionRaw;
    }
    return unicode::uppercased(text);
}

double TumblewickSignatureToast::fadeAlpha(double elapsed, double duration, bool fadingIn) {
    const double progress = duration <= 0 ? 1.0 : std::clamp(elapsed / duration, 0.0, 1.0);
    const double eased = progress * progress * (3 - 2 * progress);  // ease in and out
    return fadingIn ? eased : 1 - eased;
}

}  // namespace tw
