#pragma once
// What a troupe event records: one alternative per event kind, in kind order, each
// holding that kind's body record. On the wire it is {"kind": ..., "body": ...}.
// Readers take it apart by alternative (std::visit / std::get_if on `value`).
#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>
#include <variant>

#include "troupe/event_model/troupe_enums.h"
#include "troupe/event_model/troupe_payloads_flea.h"
#include "troupe/event_model/troupe_payloads_legacy.h"
#include "troupe/event_model/troupe_payloads_messages.h"
#include "troupe/event_model/troupe_payloads_stats.h"

namespace tw {

// Alternative n belongs to TroupeEventKind case n; every kind has its own record type.
using TroupePayloadValue = std::variant<TroupeFleaCreated,            // fleaCreated
                                        TroupeFleaRenamed,            // fleaRenamed
                                        TroupeFleaRecustomized,       // fleaRecustomized
                                        TroupeFleaIdOnly,             // fleaDeleted
                                        TroupeXPEarned,               // xpEarned
                                        TroupeNodeUnlocked,           // nodeUnlocked
                                        TroupeActAssigned,            // actAssigned
                                        TroupeCumulativeStatTick,     // cumulativeStatTick
                                        TroupeMilestoneEarned,        // milestoneEarned
                                        TroupeMilestoneAcknowledged,  // milestoneAcknowledged
                                        TroupeSurpriseEventFired,     // surpriseEventFired
                                        TroupeSettingChanged,         // settingChanged
                                        TroupeDeviceSessionStart,     // deviceSessionStart
                                        TroupeDeviceSessionEnd,       // deviceSessionEnd
                                        TroupeLegacyStateSnapshot,    // legacyStateSnapshot
                                        TroupeCheckpointPayload,      // checkpoint
                                        TroupeFleaMessageFromUser,    // fleaMessageFromUser
                                        TroupeFleaMessageFromFlea,    // fleaMessageFromFlea
                                        TroupeLetterWritten,          // letterWritten
                                        TroupeLetterId,               // letterRead
                                        TroupeLetterAcknowledged,     // letterAcknowledged
                                        TroupeConversationStarted,    // conversationStarted
                                        TroupeAnniversaryTriggered>;  // anniversaryTriggered

static_assert(std::variant_size_v<TroupePayloadValue> == TroupeEnumTraits<TroupeEventKind>::entries.size());

template <typename T>
concept TroupePayloadRecord = []<std::size_t... I>(std::index_sequence<I...>) {
    return (std::is_same_v<T, std::variant_alternative_t<I, TroupePayloadValue>> || ...);
}
(std::make_index_sequence<std::variant_size_v<TroupePayloadValue>>{});

struct TroupePayload {
    TroupePayloadValue value;

    // Built directly from a body record; there is no empty payload.
    template <TroupePayloadRecord T>
    TroupePayload(T record) : value(std::move(record)) {}  // NOLINT(google-explicit-constructor)

    // Same alternative and equal body; different kinds never compare equal.
    friend bool operator==(const TroupePayload&, const TroupePayload&) = default;
};

}  // namespace tw

template <>
struct std::hash<tw::TroupePayload> {
    std::size_t operator()(const tw::TroupePayload& payload) const;
};
