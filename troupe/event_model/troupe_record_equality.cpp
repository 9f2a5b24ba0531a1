// Equality and hashing of the troupe records. Text compares by canonical equivalence,
// so the records cannot default their comparisons where they hold strings.
#include <functional>

#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_snapshot.h"
#include "troupe/event_model/troupe_value_rules.h"

namespace tw {

using troupe_rules::textEqual;
using troupe_rules::textListEqual;
using troupe_rules::TroupeHasher;

namespace {

void feedUuid(TroupeHasher& h, const Uuid& id) { h.word(std::hash<Uuid>{}(id)); }

void feedDate(TroupeHasher& h, Date date) { h.real(date.seconds); }

template <TroupeEnum E>
void feedEnum(TroupeHasher& h, E value) {
    h.word(troupeEnumHash(value));
}

}  // namespace

bool operator==(const TroupeSettingValue& a, const TroupeSettingValue& b) {
    if (a.value.index() != b.value.index()) return false;
    switch (a.valueCase()) {
        case TroupeSettingValue::Case::string:
            return textEqual(*a.asString(), *b.asString());
        case TroupeSettingValue::Case::bool_:
            return *a.asBool() == *b.asBool();
        case TroupeSettingValue::Case::int_:
            return *a.asInt() == *b.asInt();
        case TroupeSettingValue::Case::double_:
            return *a.asDouble() == *b.asDouble();
        case TroupeSettingValue::Case::stringArray:
            return textListEqual(*a.asStringArray(), *b.asStringArray());
        case TroupeSettingValue::Case::null:
            return true;
    }
    return false;
}

bool operator==(const TroupeFleaCreated& a, const TroupeFleaCreated& b) {
    return a.fleaId == b.fleaId && textEqual(a.name, b.name) && a.bodyColorIndex == b.bodyColorIndex &&
           textEqual(a.hatKind, b.hatKind) && textEqual(a.discoveredAct, b.discoveredAct) &&
           a.createdAt == b.createdAt && textListEqual(a.traits, b.traits);
}

bool operator==(const TroupeFleaRenamed& a, const TroupeFleaRenamed& b) {
    return a.fleaId == b.fleaId && textEqual(a.newName, b.newName);
}

bool operator==(const TroupeFleaRecustomized& a, const TroupeFleaRecustomized& b) {
    return a.fleaId == b.fleaId && troupe_rules::optionalTextEqual(a.hatKind, b.hatKind) &&
           a.bodyColorIndex == b.bodyColorIndex && troupe_rules::optionalTextListEqual(a.traits, b.traits) &&
           troupe_rules::optionalTextEqual(a.voiceStyle, b.voiceStyle) &&
           troupe_rules::optionalTextEqual(a.ambition, b.ambition) &&
           troupe_rules::optionalTextListEqual(a.superstitions, b.superstitions);
}

bool operator==(const TroupeNodeUnlocked& a, const TroupeNodeUnlocked& b) {
    return a.fleaId == b.fleaId && textEqual(a.actKey, b.actKey) && textEqual(a.nodeId, b.nodeId) &&
           a.xpCost == b.xpCost;
}

bool operator==(const TroupeActAssigned& a, const TroupeActAssigned& b) {
    return a.fleaId == b.fleaId && textEqual(a.actKey, b.actKey);
}

bool operator==(const TroupeMilestoneEarned& a, const TroupeMilestoneEarned& b) {
    return textEqual(a.milestoneId, b.milestoneId);
}

bool operator==(const TroupeMilestoneAcknowledged& a, const TroupeMilestoneAcknowledged& b) {
    return textEqual(a.milestoneId, b.milestoneId) && a.ackDeviceId == b.ackDeviceId;
}

bool operator==(const TroupeSurpriseEventFired& a, const TroupeSurpriseEventFired& b) {
    return textEqual(a.eventKind, b.eventKind);
}

bool operator==(const TroupeSettingChanged& a, const TroupeSettingChanged& b) {
    return textEqual(a.key, b.key) && a.value == b.value;
}

bool operator==(const TroupeDeviceSessionStart& a, const TroupeDeviceSessionStart& b) {
    return a.deviceKind == b.deviceKind && troupe_rules::optionalTextEqual(a.deviceName, b.deviceName);
}

bool operator==(const TroupeLegacyFleaSnapshot& a, const TroupeLegacyFleaSnapshot& b) {
    return a.fleaId == b.fleaId && textEqual(a.name, b.name) && a.bodyColorIndex == b.bodyColorIndex &&
           textEqual(a.hatKind, b.hatKind) && textEqual(a.discoveredAct, b.discoveredAct) &&
           a.createdAt == b.createdAt && textListEqual(a.traits, b.traits) && a.xp == b.xp &&
           textListEqual(a.unlockedNodeIds, b.unlockedNodeIds);
}

bool operator==(const TroupeLegacyStateSnapshot& a, const TroupeLegacyStateSnapshot& b) {
    return textEqual(a.originPlatform, b.originPlatform) && textEqual(a.originVersion, b.originVersion) &&
           a.fleas == b.fleas && a.stats == b.stats &&
           textListEqual(a.milestonesEarned, b.milestonesEarned) &&
           textListEqual(a.surpriseEventsFired, b.surpriseEventsFired) &&
           troupe_rules::textMapEqual(a.portableSettings, b.portableSettings,
                                      std::equal_to<TroupeSettingValue>{});
}

bool operator==(const TroupeCheckpointPayload& a, const TroupeCheckpointPayload& b) {
    if (!(a.replacesEventsUpTo == b.replacesEventsUpTo)) return false;
    if (!a.snapshotBlob || !b.snapshotBlob) return a.snapshotBlob == b.snapshotBlob;
    return *a.snapshotBlob == *b.snapshotBlob;
}

bool operator==(const TroupeFleaMessageFromUser& a, const TroupeFleaMessageFromUser& b) {
    return a.fleaId == b.fleaId && a.messageId == b.messageId && textEqual(a.body, b.body) &&
           a.conversationId == b.conversationId;
}

bool operator==(const TroupeFleaMessageFromFlea& a, const TroupeFleaMessageFromFlea& b) {
    return a.fleaId == b.fleaId && a.messageId == b.messageId && textEqual(a.body, b.body) &&
           a.inReplyTo == b.inReplyTo && a.modelTier == b.modelTier && a.conversationId == b.conversationId;
}

bool operator==(const TroupeLetterWritten& a, const TroupeLetterWritten& b) {
    return a.fleaId == b.fleaId && a.letterId == b.letterId && textEqual(a.body, b.body) &&
           a.periodStart == b.periodStart && a.periodEnd == b.periodEnd &&
           a.anniversaryKind == b.anniversaryKind;
}

// ---- hashing: the same fields, in the same order, as equality visits ----

namespace {

void feed(TroupeHasher& h, const TroupeSettingValue& v) {
    h.word(v.value.index());
    switch (v.valueCase()) {
        case TroupeSettingValue::Case::string:
            h.text(*v.asString());
            break;
        case TroupeSettingValue::Case::bool_:
            h.flag(*v.asBool());
            break;
        case TroupeSettingValue::Case::int_:
            h.word(static_cast<std::uint64_t>(*v.asInt()));
            break;
        case TroupeSettingValue::Case::double_:
            h.real(*v.asDouble());
            break;
        case TroupeSettingValue::Case::stringArray:
            h.textList(*v.asStringArray());
            break;
        case TroupeSettingValue::Case::null:
            break;
    }
}

// The seven fields a legacy flea shares with a created one, in their common order.
template <typename Flea>
void feedFleaFields(TroupeHasher& h, const Flea& r) {
    feedUuid(h, r.fleaId);
    h.text(r.name);
    h.word(static_cast<std::uint64_t>(r.bodyColorIndex));
    h.text(r.hatKind);
    h.text(r.discoveredAct);
    feedDate(h, r.createdAt);
    h.textList(r.traits);
}

void feed(TroupeHasher& h, const TroupeFleaCreated& r) { feedFleaFields(h, r); }

void feed(TroupeHasher& h, const TroupeFleaRenamed& r) {
    feedUuid(h, r.fleaId);
    h.text(r.newName);
}

void feed(TroupeHasher& h, const TroupeFleaRecustomized& r) {
    auto text = [&h](const std::string& s) { h.text(s); };
    auto list = [&h](const std::vector<std::string>& l) { h.textList(l); };
    feedUuid(h, r.fleaId);
    h.optional(r.hatKind, text);
    h.optional(r.bodyColorIndex, [&h](std::int64_t i) { h.word(static_cast<std::uint64_t>(i)); });
    h.optional(r.traits, list);
    h.optional(r.voiceStyle, text);
    h.optional(r.ambition, text);
    h.optional(r.superstitions, list);
}

void feed(TroupeHasher& h, const TroupeFleaIdOnly& r) { feedUuid(h, r.fleaId); }

void feed(TroupeHasher& h, const TroupeXPEarned& r) {
    h.optional(r.fleaId, [&h](const Uuid& id) { feedUuid(h, id); });
    h.word(static_cast<std::uint64_t>(r.amount));
    feedEnum(h, r.source);
}

void feed(TroupeHasher& h, const TroupeNodeUnlocked& r) {
    feedUuid(h, r.fleaId);
    h.text(r.actKey);
    h.text(r.nodeId);
    h.word(static_cast<std::uint64_t>(r.xpCost));
}

void feed(TroupeHasher& h, const TroupeActAssigned& r) {
    feedUuid(h, r.fleaId);
    h.text(r.actKey);
}

void feed(TroupeHasher& h, const TroupeCumulativeStatTick& r) {
    feedEnum(h, r.stat);
    h.real(r.delta);
}

void feed(TroupeHasher& h, const TroupeMilestoneEarned& r) { h.text(r.milestoneId); }

void feed(TroupeHasher& h, const TroupeMilestoneAcknowledged& r) {
    h.text(r.milestoneId);
    feedUuid(h, r.ackDeviceId);
}

void feed(TroupeHasher& h, const TroupeSurpriseEventFired& r) { h.text(r.eventKind); }

void feed(TroupeHasher& h, const TroupeSettingChanged& r) {
    h.text(r.key);
    feed(h, r.value);
}

void feed(TroupeHasher& h, const TroupeDeviceSessionStart& r) {
    feedEnum(h, r.deviceKind);
    h.optional(r.deviceName, [&h](const std::string& s) { h.text(s); });
}

void feed(TroupeHasher& h, const TroupeDeviceSessionEnd& r) { h.real(r.durationSeconds); }

void feed(TroupeHasher& h, const TroupeLegacyFleaSnapshot& r) {
    feedFleaFields(h, r);
    h.word(static_cast<std::uint64_t>(r.xp));
    h.textList(r.unlockedNodeIds);
}

void feed(TroupeHasher& h, const TroupeLegacyStatsBlob& r) {
    h.word(static_cast<std::uint64_t>(r.clicks));
    h.word(static_cast<std::uint64_t>(r.keystrokes));
    h.word(static_cast<std::uint64_t>(r.sessions));
    h.real(r.hoursSeconds);
    h.real(r.mouseDistance);
    h.word(static_cast<std::uint64_t>(r.combos));
}

void feed(TroupeHasher& h, const TroupeLegacyStateSnapshot& r) {
    h.text(r.originPlatform);
    h.text(r.originVersion);
    h.word(r.fleas.size());
    for (const auto& flea : r.fleas) feed(h, flea);
    h.optional(r.stats, [&h](const TroupeLegacyStatsBlob& s) { feed(h, s); });
    h.textList(r.milestonesEarned);
    h.textList(r.surpriseEventsFired);
    // Order-free: a sum of spread pair hashes, keys normalized like the equality.
    std::uint64_t sum = 0;
    for (const auto& [key, value] : r.portableSettings) {
        TroupeHasher pair;
        pair.text(key);
        feed(pair, value);
        sum += troupe_rules::spread(pair.value());
    }
    h.word(r.portableSettings.size());
    h.word(sum);
}

void feed(TroupeHasher& h, const TroupeCheckpointPayload& r) {
    h.optional(r.snapshotBlob ? std::optional<std::size_t>(std::hash<TroupeSnapshot>{}(*r.snapshotBlob))
                              : std::nullopt,
               [&h](std::size_t v) { h.word(v); });
    feedDate(h, r.replacesEventsUpTo);
}

void feed(TroupeHasher& h, const TroupeFleaMessageFromUser& r) {
    feedUuid(h, r.fleaId);
    feedUuid(h, r.messageId);
    h.text(r.body);
    h.optional(r.conversationId, [&h](const Uuid& id) { feedUuid(h, id); });
}

void feed(TroupeHasher& h, const TroupeFleaMessageFromFlea& r) {
    feedUuid(h, r.fleaId);
    feedUuid(h, r.messageId);
    h.text(r.body);
    h.optional(r.inReplyTo, [&h](const Uuid& id) { feedUuid(h, id); });
    feedEnum(h, r.modelTier);
    h.optional(r.conversationId, [&h](const Uuid& id) { feedUuid(h, id); });
}

void feed(TroupeHasher& h, const TroupeLetterWritten& r) {
    feedUuid(h, r.fleaId);
    feedUuid(h, r.letterId);
    h.text(r.body);
    feedDate(h, r.periodStart);
    feedDate(h, r.periodEnd);
    h.optional(r.anniversaryKind, [&h](TroupeAnniversaryKind k) { feedEnum(h, k); });
}

void feed(TroupeHasher& h, const TroupeLetterId& r) { feedUuid(h, r.letterId); }

void feed(TroupeHasher& h, const TroupeLetterAcknowledged& r) {
    feedUuid(h, r.letterId);
    h.optional(r.replyMessageId, [&h](const Uuid& id) { feedUuid(h, id); });
}

void feed(TroupeHasher& h, const TroupeConversationStarted& r) {
    feedUuid(h, r.fleaId);
    feedUuid(h, r.conversationId);
}

void feed(TroupeHasher& h, const TroupeAnniversaryTriggered& r) {
    feedUuid(h, r.fleaId);
    feedEnum(h, r.anniversaryKind);
    feedDate(h, r.originalEventTs);
}

void feed(TroupeHasher& h, const TroupePayload& p) {
    h.word(p.value.index());
    std::visit([&h](const auto& record) { feed(h, record); }, p.value);
}

template <typename T>
std::size_t hashOf(const T& value) {
    TroupeHasher h;
    feed(h, value);
    return h.value();
}

}  // namespace

}  // namespace tw

#define TW_TROUPE_DEFINE_HASH(Type) \
    std::size_t std::hash<tw::Type>::operator()(const tw::Type& value) const { return tw::hashOf(value); }

TW_TROUPE_DEFINE_HASH(TroupeSettingValue)
TW_TROUPE_DEFINE_HASH(TroupeFleaCreated)
TW_TROUPE_DEFINE_HASH(TroupeFleaRenamed)
TW_TROUPE_DEFINE_HASH(TroupeFleaRecustomized)
TW_TROUPE_DEFINE_HASH(TroupeFleaIdOnly)
TW_TROUPE_DEFINE_HASH(TroupeXPEarned)
TW_TROUPE_DEFINE_HASH(TroupeNodeUnlocked)
TW_TROUPE_DEFINE_HASH(TroupeActAssigned)
TW_TROUPE_DEFINE_HASH(TroupeCumulativeStatTick)
TW_TROUPE_DEFINE_HASH(TroupeMilestoneEarned)
TW_TROUPE_DEFINE_HASH(TroupeMilestoneAcknowledged)
TW_TROUPE_DEFINE_HASH(TroupeSurpriseEventFired)
TW_TROUPE_DEFINE_HASH(TroupeSettingChanged)
TW_TROUPE_DEFINE_HASH(TroupeDeviceSessionStart)
TW_TROUPE_DEFINE_HASH(TroupeDeviceSessionEnd)
TW_TROUPE_DEFINE_HASH(TroupeLegacyFleaSnapshot)
TW_TROUPE_DEFINE_HASH(TroupeLegacyStatsBlob)
TW_TROUPE_DEFINE_HASH(TroupeLegacyStateSnapshot)
TW_TROUPE_DEFINE_HASH(TroupeCheckpointPayload)
TW_TROUPE_DEFINE_HASH(TroupeFleaMessageFromUser)
TW_TROUPE_DEFINE_HASH(TroupeFleaMessageFromFlea)
TW_TROUPE_DEFINE_HASH(TroupeLetterWritten)
TW_TROUPE_DEFINE_HASH(TroupeLetterId)
TW_TROUPE_DEFINE_HASH(TroupeLetterAcknowledged)
TW_TROUPE_DEFINE_HASH(TroupeConversationStarted)
TW_TROUPE_DEFINE_HASH(TroupeAnniversaryTriggered)
TW_TROUPE_DEFINE_HASH(TroupePayload)

std::size_t std::hash<tw::TroupeEvent>::operator()(const tw::TroupeEvent& event) const {
    tw::troupe_rules::TroupeHasher h;
    h.word(std::hash<tw::Uuid>{}(event.id));
    h.word(tw::troupeEnumHash(event.kind));
    h.word(std::hash<tw::TroupePayload>{}(event.payload));
    h.real(event.ts.seconds);
    h.word(std::hash<tw::Uuid>{}(event.deviceId));
    h.word(static_cast<std::uint64_t>(event.schemaVersion));
    return h.value();
}
