#pragma once
// Bodies of the two events that carry whole states: the legacy state of a device
// from before its troupe log, and a checkpoint holding a complete folded snapshot.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_payloads_flea.h"  // TW_TROUPE_DECLARE_HASH
#include "troupe/event_model/troupe_setting_value.h"

namespace tw {

struct TroupeLegacyFleaSnapshot {
    Uuid fleaId;
    std::string name;
    std::int64_t bodyColorIndex = 0;
    std::string hatKind;
    std::string discoveredAct;
    Date createdAt;
    std::vector<std::string> traits;
    std::int64_t xp = 0;
    std::vector<std::string> unlockedNodeIds;
    friend bool operator==(const TroupeLegacyFleaSnapshot& a, const TroupeLegacyFleaSnapshot& b);
};

// Lifetime counters in their legacy form; the integer ones refuse fractional numbers.
struct TroupeLegacyStatsBlob {
    std::int64_t clicks = 0;
    std::int64_t keystrokes = 0;
    std::int64_t sessions = 0;
    double hoursSeconds = 0;
    double mouseDistance = 0;
    std::int64_t combos = 0;
    friend bool operator==(const TroupeLegacyStatsBlob&, const TroupeLegacyStatsBlob&) = default;
};

// "legacy_state_snapshot". The defaults apply to code only; decoding requires every
// field but `stats`.
struct TroupeLegacyStateSnapshot {
    std::string originPlatform;
    std::string originVersion;
    std::vector<TroupeLegacyFleaSnapshot> fleas;
    std::optional<TroupeLegacyStatsBlob> stats;
    std::vector<std::string> milestonesEarned;
    std::vector<std::string> surpriseEventsFired;  // one entry per firing, repeats kept
    std::map<std::string, TroupeSettingValue> portableSettings;
    friend bool operator==(const TroupeLegacyStateSnapshot& a, const TroupeLegacyStateSnapshot& b);
};

// In troupe_snapshot.h, which is built on these records' vocabulary.
struct TroupeSnapshot;

// "checkpoint". The snapshot is immutable once made, so copies of the payload share it.
// `snapshotBlob` is never null in a decoded payload; build it with std::make_shared.
struct TroupeCheckpointPayload {
    std::shared_ptr<const TroupeSnapshot> snapshotBlob;
    Date replacesEventsUpTo;  // not read by the fold
    // Compares the snapshots, not the pointers.
    friend bool operator==(const TroupeCheckpointPayload& a, const TroupeCheckpointPayload& b);
};

}  // namespace tw

TW_TROUPE_DECLARE_HASH(TroupeLegacyFleaSnapshot)
TW_TROUPE_DECLARE_HASH(TroupeLegacyStatsBlob)
TW_TROUPE_DECLARE_HASH(TroupeLegacyStateSnapshot)
TW_TROUPE_DECLARE_HASH(TroupeCheckpointPayload)
