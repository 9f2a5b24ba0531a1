#pragma once
// Bodies of the stat, milestone, surprise, setting and device-session events.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "platform/uuid.h"
#include "troupe/event_model/troupe_enums.h"
#include "troupe/event_model/troupe_payloads_flea.h"  // TW_TROUPE_DECLARE_HASH
#include "troupe/event_model/troupe_setting_value.h"

namespace tw {

// "cumulative_stat_tick"
struct TroupeCumulativeStatTick {
    TroupeCumulativeStat stat = TroupeCumulativeStat::clicks;
    double delta = 0;  // NaN makes the record unequal even to itself
    friend bool operator==(const TroupeCumulativeStatTick&, const TroupeCumulativeStatTick&) = default;
};

// "milestone_earned"
struct TroupeMilestoneEarned {
    std::string milestoneId;
    friend bool operator==(const TroupeMilestoneEarned& a, const TroupeMilestoneEarned& b);
};

// "milestone_acknowledged"
struct TroupeMilestoneAcknowledged {
    std::string milestoneId;
    Uuid ackDeviceId;
    friend bool operator==(const TroupeMilestoneAcknowledged& a, const TroupeMilestoneAcknowledged& b);
};

// "surprise_event_fired"
struct TroupeSurpriseEventFired {
    std::string eventKind;
    friend bool operator==(const TroupeSurpriseEventFired& a, const TroupeSurpriseEventFired& b);
};

// "setting_changed": any key is carried; only portable keys take effect in the fold.
struct TroupeSettingChanged {
    std::string key;
    TroupeSettingValue value;
    friend bool operator==(const TroupeSettingChanged& a, const TroupeSettingChanged& b);
};

// "device_session_start"
struct TroupeDeviceSessionStart {
    TroupeDeviceKind deviceKind = TroupeDeviceKind::linuxDesktop;
    std::optional<std::string> deviceName;
    friend bool operator==(const TroupeDeviceSessionStart& a, const TroupeDeviceSessionStart& b);
};

// "device_session_end"
struct TroupeDeviceSessionEnd {
    double durationSeconds = 0;
    friend bool operator==(const TroupeDeviceSessionEnd&, const TroupeDeviceSessionEnd&) = default;
};

}  // namespace tw

TW_TROUPE_DECLARE_HASH(TroupeCumulativeStatTick)
TW_TROUPE_DECLARE_HASH(TroupeMilestoneEarned)
TW_TROUPE_DECLARE_HASH(TroupeMilestoneAcknowledged)
TW_TROUPE_DECLARE_HASH(TroupeSurpriseEventFired)
TW_TROUPE_DECLARE_HASH(TroupeSettingChanged)
TW_TROUPE_DECLARE_HASH(TroupeDeviceSessionStart)
TW_TROUPE_DECLARE_HASH(TroupeDeviceSessionEnd)
