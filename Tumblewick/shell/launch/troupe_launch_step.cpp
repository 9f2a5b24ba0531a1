#include "Tumblewick/shell/launch/troupe_launch_step.h"

#include <unistd.h>

#include <climits>

#include "troupe/surfaces/troupe_watch_bridge.h"

namespace tw {

void TroupeLaunchStep::start() const {
    // The session is this launch's even when the app quits before the log has loaded.
    store.expectSessionStart(deviceName, clock.now());
    TroupeLaunchStep step = *this;
    store.whenLoaded([step] { step.runLoaded(); });
}

TroupeAttention::OnAppearDecision TroupeLaunchStep::runLoaded() const {
    const TroupeSnapshot before = store.snapshot();
    store.markSessionStart(deviceName, clock.now());

    const std::optional<Date> lastArrival = standardDefaults.dateForKey(arrivalShownAtKey);
    const auto decision = TroupeAttention::onAppear(before, store.deviceId(), clock.now(), lastArrival);
    if (decision.arrival.shouldPlay) {
        standardDefaults.setDate(arrivalShownAtKey, clock.now());
        notifications.post(arrivalNotification, {{gapSecondsKey, decision.arrival.gapSeconds}});
    }
    if (!decision.pendingMilestones.empty()) store.acknowledgeMilestones(decision.pendingMilestones);
    TroupeWatchBridge::writeCurrentSummary(store, std::nullopt);
    return decision;
}

std::optional<std::string> localDeviceName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
    return std::string(name);
}

}  // namespace tw
