#pragma once
// Gives the shared signature toast its window, timers and chime for as long as this
// lives; the app keeps one from start-up until just before the application object
// goes, since the window is a widget. Main thread; the references must outlive it.
#include <memory>

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/main_queue.h"

namespace tw {

class QtSignatureToastWindow;

class SignatureToastInstallation {
   public:
    SignatureToastInstallation(MainQueue& mainQueue, const Clock& clock, const Defaults& standardDefaults);
    // Leaves the shared toast remembering only, then closes its window.
    ~SignatureToastInstallation();
    SignatureToastInstallation(const SignatureToastInstallation&) = delete;
    SignatureToastInstallation& operator=(const SignatureToastInstallation&) = delete;

   private:
    std::unique_ptr<QtSignatureToastWindow> window_;
};

}  // namespace tw
