#pragma once
// Gives the shared signature toast its window, timers and chime. Main thread, once, at
// launch; the references must live as long as the app.
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/main_queue.h"

namespace tw {

void installSignatureToast(MainQueue& mainQueue, const Clock& clock, const Defaults& standardDefaults);

}  // namespace tw
