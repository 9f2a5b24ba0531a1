#pragma once
// The troupe's part of the launch: once the log has loaded, open this device's
// session, decide whether to greet the user's return, acknowledge the milestones
// this device has not seen, and write the companion summary.
//
// The arrival is measured from this device's last-seen time as it stood before this
// launch: the snapshot is copied after the load and before the session start.
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/notification_center.h"
#include "troupe/store/troupe_store.h"
#include "troupe/surfaces/troupe_attention.h"

namespace tw {

struct TroupeLaunchStep {
    static constexpr const char* arrivalShownAtKey = "tw_troupe_arrival_shown_at";
    static constexpr const char* arrivalNotification = "Tumblewick.Troupe.Arrival";
    static constexpr const char* gapSecondsKey = "gapSeconds";

    TroupeStore& store;
    Defaults& standardDefaults;
    NotificationCenter& notifications;
    const Clock& clock;
    std::optional<std::string> deviceName;

    // Waits (without blocking) for the store's load, then runs the steps; returns at once.
    // A quit before the load ends still records the session, from now.
    void start() const;
    // The steps themselves, for a store that has loaded. Returns the decision taken.
    TroupeAttention::OnAppearDecision runLoaded() const;
};

// This machine's name for the session start, when the system gives one.
std::optional<std::string> localDeviceName();

}  // namespace tw
