#pragma once
// The state of the whole troupe as every device computes it from the same events.
// A plain value: the fold writes it, everything else reads it.
//
// Dictionaries are ordered maps, so wherever an order falls back on a dictionary's own
// order (ties in activeFleas and allLetters, the pick in mostTalkedToFleaId, the pairs
// written to JSON) it is ascending id text, on every device and every run. Text-keyed
// sets and dictionaries hold one key per canonical-equivalence class, in the order of
// the keys' NFC forms (byte order for ASCII keys).
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"
#include "troupe/event_model/troupe_setting_value.h"
#include "troupe/event_model/troupe_snapshot_entries.h"
#include "troupe/event_model/troupe_value_ops.h"

namespace tw {

struct TroupeSnapshot {
    std::map<Uuid, TroupeFlea> fleas{};
    TroupeCumulativeStats stats{};
    TroupeTextSet milestonesEarned{};
    TroupeTextMap<std::set<Uuid>> milestoneAcksByDevice{};
    TroupeTextMap<std::int64_t> surpriseEventsFired{};
    TroupeTextMap<TroupeSettingValue> portableSettings{};
    std::map<Uuid, TroupeDeviceSeen> devices{};
    std::optional<Date> lastEventTs{};
    std::int64_t eventCount = 0;
    std::map<Uuid, std::vector<TroupeMessageEntry>> conversationsByFlea{};
    std::map<Uuid, std::vector<TroupeLetterEntry>> lettersByFlea{};
    std::vector<TroupeAnniversaryEntry> anniversariesSeen{};

    // Queries, computed afresh on every call.
    std::vector<TroupeFlea> activeFleas() const;  // live fleas, earliest createdAt first
    TroupeTextSet unlocks(const Uuid& fleaId) const;
    bool hasAcknowledgedMilestone(const std::string& milestoneId, const Uuid& deviceId) const;
    std::optional<Date> lastSeen(const Uuid& deviceId) const;
    std::vector<TroupeLetterEntry> allLetters() const;  // latest writtenAt first
    std::vector<TroupeLetterEntry> unreadLetters(const Uuid& deviceId) const;
    std::int64_t totalUserMessageCount() const;
    std::int64_t totalFleaMessageCount() const;
    std::optional<Uuid> mostTalkedToFleaId() const;

    friend bool operator==(const TroupeSnapshot& a, const TroupeSnapshot& b);

    // UUID-keyed dictionaries are alternating [key, value, ...] arrays; string-keyed
    // ones are objects. Throws JsonEncodeError for a non-finite counter or bad date.
    OrderedJson toJson() const;
    // Throws JsonDecodeError with the key path; never yields a partial snapshot.
    static TroupeSnapshot fromJson(const JsonReader& reader);
};

}  // namespace tw

template <>
struct std::hash<tw::TroupeSnapshot> {
    std::size_t operator()(const tw::TroupeSnapshot& value) const;
};
