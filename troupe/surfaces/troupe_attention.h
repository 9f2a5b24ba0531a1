#pragma once
// The return-to-device decision at launch: whether to greet the user's return, and
// which milestones this device has yet to acknowledge. Pure: no side effects.
//
// The launch appends this session's start before it asks, which would make this
// device's last-seen time "now". So the launch copies the snapshot once the store
// has loaded, before markSessionStart, and passes that copy here.
#include <optional>
#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_snapshot.h"

namespace tw {

class TroupeAttention {
   public:
    // The arrival plays after a long enough absence, and not again too soon.
    static constexpr double arrivalMinimumGapSeconds = 8 * 3600;
    static constexpr double arrivalMinimumRepeatSeconds = 8 * 3600;

    struct Arrival {
        bool shouldPlay = false;
        double gapSeconds = 0;  // since this device was last seen; 0 when never seen
        friend bool operator==(const Arrival&, const Arrival&) = default;
    };

    struct OnAppearDecision {
        Arrival arrival;
        std::vector<std::string> pendingMilestones;  // earned, not acknowledged here; ascending
        friend bool operator==(const OnAppearDecision&, const OnAppearDecision&) = default;
    };

    static OnAppearDecision onAppear(const TroupeSnapshot& snapshot, const Uuid& deviceId, Date now,
                                     std::optional<Date> lastArrivalShownAt);
};

}  // namespace tw
