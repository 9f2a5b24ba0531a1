#include <algorithm>

#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/snapshot/troupe_fold.h"

namespace tw {

namespace {

// Each counter ends at the larger of the two; a NaN on either side keeps the snapshot's.
void raise(double& counter, double legacy) {
    if (legacy >= counter) counter = legacy;
}

}  // namespace

void TroupeFold::applyLegacy(const TroupeLegacyStateSnapshot& legacy, TroupeSnapshot& snapshot) {
    for (const auto& flea : legacy.fleas) {
        // A flea the log already knows (live or deleted) is left exactly as it is.
        if (snapshot.fleas.contains(flea.fleaId)) continue;
        snapshot.fleas.emplace(flea.fleaId, TroupeFlea{.id = flea.fleaId,
                                                       .name = flea.name,
                                                       .bodyColorIndex = flea.bodyColorIndex,
                                                       .hatKind = flea.hatKind,
                                                       .discoveredAct = flea.discoveredAct,
                                                       .createdAt = flea.createdAt,
                                                       .traits = flea.traits,
                                                       .xp = flea.xp,
                                                       .unlockedNodeIds = {flea.unlockedNodeIds.begin(),
                                                                           flea.unlockedNodeIds.end()}});
    }

    if (legacy.stats) {
        const TroupeLegacyStatsBlob& stats = *legacy.stats;
        raise(snapshot.stats.clicks, static_cast<double>(stats.clicks));
        raise(snapshot.stats.keystrokes, static_cast<double>(stats.keystrokes));
        raise(snapshot.stats.sessions, static_cast<double>(stats.sessions));
        raise(snapshot.stats.hoursSeconds, stats.hoursSeconds);
        raise(snapshot.stats.mouseDistance, stats.mouseDistance);
        raise(snapshot.stats.combos, static_cast<double>(stats.combos));
    }

    snapshot.milestonesEarned.insert(legacy.milestonesEarned.begin(), legacy.milestonesEarned.end());

    for (const auto& kind : legacy.surpriseEventsFired) {
        std::int64_t& count = snapshot.surpriseEventsFired[kind];
        count = troupe_ops::saturatingAdd(count, 1);
    }

    for (const auto& [key, value] : legacy.portableSettings) {
        if (isTroupePortableSettingKey(key)) snapshot.portableSettings.insert_or_assign(key, value);
    }
}

}  // namespace tw
