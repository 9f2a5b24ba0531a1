#pragma once
// Gives a signature toast (the app's shared one) its window, timers and chime for as
// long as this lives; the app keeps one from start-up until just before the application object
// goes, since the window is a widget. Main thread; the references must outlive it.
#include <memory>

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/desktop.h"
#include "platform/main_queue.h"
#include "platform/qt/window_fade.h"

namespace tw {

class QtSignatureToastWindow;
class TumblewickSignatureToast;

class SignatureToastInstallation {
   public:
    SignatureToastInstallation(TumblewickSignatureToast& toast, MainQueue& mainQueue, const Clock& clock,
                               const Defaults& standardDefaults, Desktop& desktop, WindowFading fading);
    // Leaves the toast remembering only, then closes its window.
    ~SignatureToastInstallation();
    SignatureToastInstallation(const SignatureToastInstallation&) = delete;
    SignatureToastInstallation& operator=(const SignatureToastInstallation&) = delete;

   private:
    TumblewickSignatureToast& toast_;
    std::unique_ptr<QtSignatureToastWindow> window_;
};

}  // namespace tw
