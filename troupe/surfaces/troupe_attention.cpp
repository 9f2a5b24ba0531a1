#include "troupe/surfaces/troupe_attention.h"

namespace tw {

TroupeAttention::OnAppearDecision TroupeAttention::onAppear(const TroupeSnapshot& snapshot,
                                                            const Uuid& deviceId, Date now,
                                                            std::optional<Date> lastArrivalShownAt) {
    OnAppearDecision decision;
    if (const auto lastSeen = snapshot.lastSeen(deviceId)) {
        const double gap = now.since(*lastSeen);
        // Comparisons written so that NaN (a broken clock or date) never plays.
        const bool longAway = gap >= arrivalMinimumGapSeconds;
        const bool notRecentlyShown =
            !lastArrivalShownAt || now.since(*lastArrivalShownAt) >= arrivalMinimumRepeatSeconds;
        decision.arrival = Arrival{longAway && notRecentlyShown, gap == gap ? gap : 0};
    }
    for (const auto& milestone : snapshot.milestonesEarned) {
        if (!snapshot.hasAcknowledgedMilestone(milestone, deviceId))
            decision.pendingMilestones.push_back(milestone);
    }
    return decision;
}

}  // namespace tw
