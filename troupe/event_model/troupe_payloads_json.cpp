// JSON of the body records: keys in declaration order, optional fields left out when
// absent, required fields always written (empty lists and strings included).
#include "troupe/event_model/troupe_record_reading.h"

namespace tw {

// The general reader's entry points; the steps are in troupe_record_reading.h.
#define TW_TROUPE_READ_RECORD(Type)                              \
    template <>                                                  \
    Type fromJson<Type>(const JsonReader& in) {                  \
        return readTroupeRecord(in, std::type_identity<Type>{}); \
    }

// ---- flea lifecycle and progress ----

OrderedJson toJson(const TroupeFleaCreated& r) {
    OrderedJson o = OrderedJson::object();
    writeTroupeFleaFields(o, r);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeFleaCreated)

OrderedJson toJson(const TroupeFleaRenamed& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["newName"] = r.newName;
    return o;
}

TW_TROUPE_READ_RECORD(TroupeFleaRenamed)

OrderedJson toJson(const TroupeFleaRecustomized& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    if (r.hatKind) o["hatKind"] = *r.hatKind;
    if (r.bodyColorIndex) o["bodyColorIndex"] = *r.bodyColorIndex;
    if (r.traits) o["traits"] = troupeStringListJson(*r.traits);
    if (r.voiceStyle) o["voiceStyle"] = *r.voiceStyle;
    if (r.ambition) o["ambition"] = *r.ambition;
    if (r.superstitions) o["superstitions"] = troupeStringListJson(*r.superstitions);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeFleaRecustomized)

OrderedJson toJson(const TroupeFleaIdOnly& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeFleaIdOnly)

OrderedJson toJson(const TroupeXPEarned& r) {
    OrderedJson o = OrderedJson::object();
    if (r.fleaId) o["fleaId"] = troupeUuidJson(*r.fleaId);
    o["amount"] = r.amount;
    o["source"] = rawValue(r.source);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeXPEarned)

OrderedJson toJson(const TroupeNodeUnlocked& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["actKey"] = r.actKey;
    o["nodeId"] = r.nodeId;
    o["xpCost"] = r.xpCost;
    return o;
}

TW_TROUPE_READ_RECORD(TroupeNodeUnlocked)

OrderedJson toJson(const TroupeActAssigned& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["actKey"] = r.actKey;
    return o;
}

TW_TROUPE_READ_RECORD(TroupeActAssigned)

// ---- stats, milestones, surprises, settings, device sessions ----

OrderedJson toJson(const TroupeCumulativeStatTick& r) {
    OrderedJson o = OrderedJson::object();
    o["stat"] = rawValue(r.stat);
    o["delta"] = finiteJson(r.delta, "delta");
    return o;
}

TW_TROUPE_READ_RECORD(TroupeCumulativeStatTick)

OrderedJson toJson(const TroupeMilestoneEarned& r) {
    OrderedJson o = OrderedJson::object();
    o["milestoneId"] = r.milestoneId;
    return o;
}

TW_TROUPE_READ_RECORD(TroupeMilestoneEarned)

OrderedJson toJson(const TroupeMilestoneAcknowledged& r) {
    OrderedJson o = OrderedJson::object();
    o["milestoneId"] = r.milestoneId;
    o["ackDeviceId"] = troupeUuidJson(r.ackDeviceId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeMilestoneAcknowledged)

OrderedJson toJson(const TroupeSurpriseEventFired& r) {
    OrderedJson o = OrderedJson::object();
    o["eventKind"] = r.eventKind;
    return o;
}

TW_TROUPE_READ_RECORD(TroupeSurpriseEventFired)

OrderedJson toJson(const TroupeSettingChanged& r) {
    OrderedJson o = OrderedJson::object();
    o["key"] = r.key;
    o["value"] = toJson(r.value);  // a null value is still written
    return o;
}

TW_TROUPE_READ_RECORD(TroupeSettingChanged)

OrderedJson toJson(const TroupeDeviceSessionStart& r) {
    OrderedJson o = OrderedJson::object();
    o["deviceKind"] = rawValue(r.deviceKind);
    if (r.deviceName) o["deviceName"] = *r.deviceName;
    return o;
}

TW_TROUPE_READ_RECORD(TroupeDeviceSessionStart)

OrderedJson toJson(const TroupeDeviceSessionEnd& r) {
    OrderedJson o = OrderedJson::object();
    o["durationSeconds"] = finiteJson(r.durationSeconds, "durationSeconds");
    return o;
}

TW_TROUPE_READ_RECORD(TroupeDeviceSessionEnd)

// ---- correspondence ----

OrderedJson toJson(const TroupeFleaMessageFromUser& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["messageId"] = troupeUuidJson(r.messageId);
    o["body"] = r.body;
    if (r.conversationId) o["conversationId"] = troupeUuidJson(*r.conversationId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeFleaMessageFromUser)

OrderedJson toJson(const TroupeFleaMessageFromFlea& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["messageId"] = troupeUuidJson(r.messageId);
    o["body"] = r.body;
    if (r.inReplyTo) o["inReplyTo"] = troupeUuidJson(*r.inReplyTo);
    o["modelTier"] = rawValue(r.modelTier);
    if (r.conversationId) o["conversationId"] = troupeUuidJson(*r.conversationId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeFleaMessageFromFlea)

OrderedJson toJson(const TroupeLetterWritten& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["letterId"] = troupeUuidJson(r.letterId);
    o["body"] = r.body;
    o["periodStart"] = troupeDateJson(r.periodStart);
    o["periodEnd"] = troupeDateJson(r.periodEnd);
    if (r.anniversaryKind) o["anniversaryKind"] = rawValue(*r.anniversaryKind);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeLetterWritten)

OrderedJson toJson(const TroupeLetterId& r) {
    OrderedJson o = OrderedJson::object();
    o["letterId"] = troupeUuidJson(r.letterId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeLetterId)

OrderedJson toJson(const TroupeLetterAcknowledged& r) {
    OrderedJson o = OrderedJson::object();
    o["letterId"] = troupeUuidJson(r.letterId);
    if (r.replyMessageId) o["replyMessageId"] = troupeUuidJson(*r.replyMessageId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeLetterAcknowledged)

OrderedJson toJson(const TroupeConversationStarted& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["conversationId"] = troupeUuidJson(r.conversationId);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeConversationStarted)

OrderedJson toJson(const TroupeAnniversaryTriggered& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["anniversaryKind"] = rawValue(r.anniversaryKind);
    o["originalEventTs"] = troupeDateJson(r.originalEventTs);
    return o;
}

TW_TROUPE_READ_RECORD(TroupeAnniversaryTriggered)

}  // namespace tw
