// JSON of the body records: keys in declaration order, optional fields left out when
// absent, required fields always written (empty lists and strings included).
#include "troupe/event_model/troupe_json.h"

namespace tw {

namespace {

std::optional<std::vector<std::string>> optionalTextList(const JsonReader& in, std::string_view key) {
    auto member = in.optional(key);
    if (!member) return std::nullopt;
    return troupeStringList(*member);
}

template <TroupeEnum E>
std::optional<E> optionalEnum(const JsonReader& in, std::string_view key) {
    auto member = in.optional(key);
    if (!member) return std::nullopt;
    return troupeEnum<E>(*member);
}

}  // namespace

// ---- flea lifecycle and progress ----

OrderedJson toJson(const TroupeFleaCreated& r) {
    OrderedJson o = OrderedJson::object();
    writeTroupeFleaFields(o, r);
    return o;
}

template <>
TroupeFleaCreated fromJson<TroupeFleaCreated>(const JsonReader& in) {
    troupeExpectObject(in);
    TroupeFleaCreated out;
    readTroupeFleaFields(in, out);
    return out;
}

OrderedJson toJson(const TroupeFleaRenamed& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["newName"] = r.newName;
    return o;
}

template <>
TroupeFleaRenamed fromJson<TroupeFleaRenamed>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    return TroupeFleaRenamed{fleaId, in["newName"].string()};
}

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

template <>
TroupeFleaRecustomized fromJson<TroupeFleaRecustomized>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto hatKind = in.optionalString("hatKind");
    auto bodyColorIndex = in.optionalInt64("bodyColorIndex");
    auto traits = optionalTextList(in, "traits");
    auto voiceStyle = in.optionalString("voiceStyle");
    auto ambition = in.optionalString("ambition");
    auto superstitions = optionalTextList(in, "superstitions");
    return TroupeFleaRecustomized{fleaId,
                                  std::move(hatKind),
                                  bodyColorIndex,
                                  std::move(traits),
                                  std::move(voiceStyle),
                                  std::move(ambition),
                                  std::move(superstitions)};
}

OrderedJson toJson(const TroupeFleaIdOnly& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    return o;
}

template <>
TroupeFleaIdOnly fromJson<TroupeFleaIdOnly>(const JsonReader& in) {
    troupeExpectObject(in);
    return TroupeFleaIdOnly{in["fleaId"].uuid()};
}

OrderedJson toJson(const TroupeXPEarned& r) {
    OrderedJson o = OrderedJson::object();
    if (r.fleaId) o["fleaId"] = troupeUuidJson(*r.fleaId);
    o["amount"] = r.amount;
    o["source"] = rawValue(r.source);
    return o;
}

template <>
TroupeXPEarned fromJson<TroupeXPEarned>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in.optionalUuid("fleaId");
    auto amount = in["amount"].int64();
    auto source = troupeEnum<TroupeXPSource>(in["source"]);
    return TroupeXPEarned{fleaId, amount, source};
}

OrderedJson toJson(const TroupeNodeUnlocked& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["actKey"] = r.actKey;
    o["nodeId"] = r.nodeId;
    o["xpCost"] = r.xpCost;
    return o;
}

template <>
TroupeNodeUnlocked fromJson<TroupeNodeUnlocked>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto actKey = in["actKey"].string();
    auto nodeId = in["nodeId"].string();
    auto xpCost = in["xpCost"].int64();
    return TroupeNodeUnlocked{fleaId, std::move(actKey), std::move(nodeId), xpCost};
}

OrderedJson toJson(const TroupeActAssigned& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["actKey"] = r.actKey;
    return o;
}

template <>
TroupeActAssigned fromJson<TroupeActAssigned>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    return TroupeActAssigned{fleaId, in["actKey"].string()};
}

// ---- stats, milestones, surprises, settings, device sessions ----

OrderedJson toJson(const TroupeCumulativeStatTick& r) {
    OrderedJson o = OrderedJson::object();
    o["stat"] = rawValue(r.stat);
    o["delta"] = finiteJson(r.delta, "delta");
    return o;
}

template <>
TroupeCumulativeStatTick fromJson<TroupeCumulativeStatTick>(const JsonReader& in) {
    troupeExpectObject(in);
    auto stat = troupeEnum<TroupeCumulativeStat>(in["stat"]);
    return TroupeCumulativeStatTick{stat, troupeDouble(in["delta"])};
}

OrderedJson toJson(const TroupeMilestoneEarned& r) {
    OrderedJson o = OrderedJson::object();
    o["milestoneId"] = r.milestoneId;
    return o;
}

template <>
TroupeMilestoneEarned fromJson<TroupeMilestoneEarned>(const JsonReader& in) {
    troupeExpectObject(in);
    return TroupeMilestoneEarned{in["milestoneId"].string()};
}

OrderedJson toJson(const TroupeMilestoneAcknowledged& r) {
    OrderedJson o = OrderedJson::object();
    o["milestoneId"] = r.milestoneId;
    o["ackDeviceId"] = troupeUuidJson(r.ackDeviceId);
    return o;
}

template <>
TroupeMilestoneAcknowledged fromJson<TroupeMilestoneAcknowledged>(const JsonReader& in) {
    troupeExpectObject(in);
    auto milestoneId = in["milestoneId"].string();
    return TroupeMilestoneAcknowledged{std::move(milestoneId), in["ackDeviceId"].uuid()};
}

OrderedJson toJson(const TroupeSurpriseEventFired& r) {
    OrderedJson o = OrderedJson::object();
    o["eventKind"] = r.eventKind;
    return o;
}

template <>
TroupeSurpriseEventFired fromJson<TroupeSurpriseEventFired>(const JsonReader& in) {
    troupeExpectObject(in);
    return TroupeSurpriseEventFired{in["eventKind"].string()};
}

OrderedJson toJson(const TroupeSettingChanged& r) {
    OrderedJson o = OrderedJson::object();
    o["key"] = r.key;
    o["value"] = toJson(r.value);  // a null value is still written
    return o;
}

template <>
TroupeSettingChanged fromJson<TroupeSettingChanged>(const JsonReader& in) {
    troupeExpectObject(in);
    auto key = in["key"].string();
    // Present-but-null is the `null` setting value; only a missing key fails.
    auto value = fromJson<TroupeSettingValue>(in["value"]);
    return TroupeSettingChanged{std::move(key), std::move(value)};
}

OrderedJson toJson(const TroupeDeviceSessionStart& r) {
    OrderedJson o = OrderedJson::object();
    o["deviceKind"] = rawValue(r.deviceKind);
    if (r.deviceName) o["deviceName"] = *r.deviceName;
    return o;
}

template <>
TroupeDeviceSessionStart fromJson<TroupeDeviceSessionStart>(const JsonReader& in) {
    troupeExpectObject(in);
    auto deviceKind = troupeEnum<TroupeDeviceKind>(in["deviceKind"]);
    return TroupeDeviceSessionStart{deviceKind, in.optionalString("deviceName")};
}

OrderedJson toJson(const TroupeDeviceSessionEnd& r) {
    OrderedJson o = OrderedJson::object();
    o["durationSeconds"] = finiteJson(r.durationSeconds, "durationSeconds");
    return o;
}

template <>
TroupeDeviceSessionEnd fromJson<TroupeDeviceSessionEnd>(const JsonReader& in) {
    troupeExpectObject(in);
    return TroupeDeviceSessionEnd{troupeDouble(in["durationSeconds"])};
}

// ---- correspondence ----

OrderedJson toJson(const TroupeFleaMessageFromUser& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["messageId"] = troupeUuidJson(r.messageId);
    o["body"] = r.body;
    if (r.conversationId) o["conversationId"] = troupeUuidJson(*r.conversationId);
    return o;
}

template <>
TroupeFleaMessageFromUser fromJson<TroupeFleaMessageFromUser>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto messageId = in["messageId"].uuid();
    auto body = in["body"].string();
    auto conversationId = in.optionalUuid("conversationId");
    return TroupeFleaMessageFromUser{fleaId, messageId, std::move(body), conversationId};
}

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

template <>
TroupeFleaMessageFromFlea fromJson<TroupeFleaMessageFromFlea>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto messageId = in["messageId"].uuid();
    auto body = in["body"].string();
    auto inReplyTo = in.optionalUuid("inReplyTo");
    auto modelTier = troupeEnum<TroupeMessageSource>(in["modelTier"]);
    auto conversationId = in.optionalUuid("conversationId");
    return TroupeFleaMessageFromFlea{fleaId,    messageId, std::move(body),
                                     inReplyTo, modelTier, conversationId};
}

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

template <>
TroupeLetterWritten fromJson<TroupeLetterWritten>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto letterId = in["letterId"].uuid();
    auto body = in["body"].string();
    auto periodStart = troupeDate(in["periodStart"]);
    auto periodEnd = troupeDate(in["periodEnd"]);
    auto anniversaryKind = optionalEnum<TroupeAnniversaryKind>(in, "anniversaryKind");
    return TroupeLetterWritten{fleaId, letterId, std::move(body), periodStart, periodEnd, anniversaryKind};
}

OrderedJson toJson(const TroupeLetterId& r) {
    OrderedJson o = OrderedJson::object();
    o["letterId"] = troupeUuidJson(r.letterId);
    return o;
}

template <>
TroupeLetterId fromJson<TroupeLetterId>(const JsonReader& in) {
    troupeExpectObject(in);
    return TroupeLetterId{in["letterId"].uuid()};
}

OrderedJson toJson(const TroupeLetterAcknowledged& r) {
    OrderedJson o = OrderedJson::object();
    o["letterId"] = troupeUuidJson(r.letterId);
    if (r.replyMessageId) o["replyMessageId"] = troupeUuidJson(*r.replyMessageId);
    return o;
}

template <>
TroupeLetterAcknowledged fromJson<TroupeLetterAcknowledged>(const JsonReader& in) {
    troupeExpectObject(in);
    auto letterId = in["letterId"].uuid();
    return TroupeLetterAcknowledged{letterId, in.optionalUuid("replyMessageId")};
}

OrderedJson toJson(const TroupeConversationStarted& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["conversationId"] = troupeUuidJson(r.conversationId);
    return o;
}

template <>
TroupeConversationStarted fromJson<TroupeConversationStarted>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    return TroupeConversationStarted{fleaId, in["conversationId"].uuid()};
}

OrderedJson toJson(const TroupeAnniversaryTriggered& r) {
    OrderedJson o = OrderedJson::object();
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["anniversaryKind"] = rawValue(r.anniversaryKind);
    o["originalEventTs"] = troupeDateJson(r.originalEventTs);
    return o;
}

template <>
TroupeAnniversaryTriggered fromJson<TroupeAnniversaryTriggered>(const JsonReader& in) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto kind = troupeEnum<TroupeAnniversaryKind>(in["anniversaryKind"]);
    return TroupeAnniversaryTriggered{fleaId, kind, troupeDate(in["originalEventTs"])};
}

}  // namespace tw
