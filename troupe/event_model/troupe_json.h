#pragma once
// JSON coding of troupe events, payloads and body records: the one exchange format
// between devices. Keys are written in declaration order; readers accept any order,
// ignore unknown keys, and read null as absent for optional fields. Every decoding
// failure throws JsonDecodeError (key path included) and ends the whole decode;
// encoding a non-finite double or an unwritable date throws JsonEncodeError rather
// than writing a null that no device could read back.
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"
#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_payload.h"
#include "troupe/event_model/troupe_setting_value.h"

namespace tw {

// Envelope.
OrderedJson toJson(const TroupeEvent& event);
// One log line: keys sorted at every level, no trailing newline.
std::string encodeTroupeEventLine(const TroupeEvent& event);
// The longest line read. The log grows with use, so its limit is per line: a longer
// line is one more line that does not decode (dataCorrupted at the top level).
constexpr std::size_t kTroupeEventLineLimit = std::size_t{16} << 20;
// Reads one line (without its newline) or throws JsonDecodeError. Parses with simdjson;
// any line it refuses is read by the general parser, so the result and every error
// are those of decodeTroupeEventLineReference. Safe on any thread.
TroupeEvent decodeTroupeEventLine(std::string_view line);
// The same through the general parser alone: the reference the fast way is held to.
TroupeEvent decodeTroupeEventLineReference(std::string_view line);

// Payload union: {"kind", "body"}.
OrderedJson toJson(const TroupePayload& payload);

// Body records and the setting value (a bare JSON value).
OrderedJson toJson(const TroupeSettingValue& value);
OrderedJson toJson(const TroupeFleaCreated& record);
OrderedJson toJson(const TroupeFleaRenamed& record);
OrderedJson toJson(const TroupeFleaRecustomized& record);
OrderedJson toJson(const TroupeFleaIdOnly& record);
OrderedJson toJson(const TroupeXPEarned& record);
OrderedJson toJson(const TroupeNodeUnlocked& record);
OrderedJson toJson(const TroupeActAssigned& record);
OrderedJson toJson(const TroupeCumulativeStatTick& record);
OrderedJson toJson(const TroupeMilestoneEarned& record);
OrderedJson toJson(const TroupeMilestoneAcknowledged& record);
OrderedJson toJson(const TroupeSurpriseEventFired& record);
OrderedJson toJson(const TroupeSettingChanged& record);
OrderedJson toJson(const TroupeDeviceSessionStart& record);
OrderedJson toJson(const TroupeDeviceSessionEnd& record);
OrderedJson toJson(const TroupeLegacyFleaSnapshot& record);
OrderedJson toJson(const TroupeLegacyStatsBlob& record);
OrderedJson toJson(const TroupeLegacyStateSnapshot& record);
OrderedJson toJson(const TroupeCheckpointPayload& record);
OrderedJson toJson(const TroupeFleaMessageFromUser& record);
OrderedJson toJson(const TroupeFleaMessageFromFlea& record);
OrderedJson toJson(const TroupeLetterWritten& record);
OrderedJson toJson(const TroupeLetterId& record);
OrderedJson toJson(const TroupeLetterAcknowledged& record);
OrderedJson toJson(const TroupeConversationStarted& record);
OrderedJson toJson(const TroupeAnniversaryTriggered& record);

// Decoding: fromJson<TroupeEvent>(reader), fromJson<TroupeSettingValue>(reader), ...
// Defined for TroupeEvent, TroupePayload, TroupeSettingValue and every body record.
template <typename T>
T fromJson(const JsonReader& in);
template <>
TroupeEvent fromJson<TroupeEvent>(const JsonReader& in);
template <>
TroupePayload fromJson<TroupePayload>(const JsonReader& in);
template <>
TroupeSettingValue fromJson<TroupeSettingValue>(const JsonReader& in);
template <>
TroupeFleaCreated fromJson<TroupeFleaCreated>(const JsonReader& in);
template <>
TroupeFleaRenamed fromJson<TroupeFleaRenamed>(const JsonReader& in);
template <>
TroupeFleaRecustomized fromJson<TroupeFleaRecustomized>(const JsonReader& in);
template <>
TroupeFleaIdOnly fromJson<TroupeFleaIdOnly>(const JsonReader& in);
template <>
TroupeXPEarned fromJson<TroupeXPEarned>(const JsonReader& in);
template <>
TroupeNodeUnlocked fromJson<TroupeNodeUnlocked>(const JsonReader& in);
template <>
TroupeActAssigned fromJson<TroupeActAssigned>(const JsonReader& in);
template <>
TroupeCumulativeStatTick fromJson<TroupeCumulativeStatTick>(const JsonReader& in);
template <>
TroupeMilestoneEarned fromJson<TroupeMilestoneEarned>(const JsonReader& in);
template <>
TroupeMilestoneAcknowledged fromJson<TroupeMilestoneAcknowledged>(const JsonReader& in);
template <>
TroupeSurpriseEventFired fromJson<TroupeSurpriseEventFired>(const JsonReader& in);
template <>
TroupeSettingChanged fromJson<TroupeSettingChanged>(const JsonReader& in);
template <>
TroupeDeviceSessionStart fromJson<TroupeDeviceSessionStart>(const JsonReader& in);
template <>
TroupeDeviceSessionEnd fromJson<TroupeDeviceSessionEnd>(const JsonReader& in);
template <>
TroupeLegacyFleaSnapshot fromJson<TroupeLegacyFleaSnapshot>(const JsonReader& in);
template <>
TroupeLegacyStatsBlob fromJson<TroupeLegacyStatsBlob>(const JsonReader& in);
template <>
TroupeLegacyStateSnapshot fromJson<TroupeLegacyStateSnapshot>(const JsonReader& in);
template <>
TroupeCheckpointPayload fromJson<TroupeCheckpointPayload>(const JsonReader& in);
template <>
TroupeFleaMessageFromUser fromJson<TroupeFleaMessageFromUser>(const JsonReader& in);
template <>
TroupeFleaMessageFromFlea fromJson<TroupeFleaMessageFromFlea>(const JsonReader& in);
template <>
TroupeLetterWritten fromJson<TroupeLetterWritten>(const JsonReader& in);
template <>
TroupeLetterId fromJson<TroupeLetterId>(const JsonReader& in);
template <>
TroupeLetterAcknowledged fromJson<TroupeLetterAcknowledged>(const JsonReader& in);
template <>
TroupeConversationStarted fromJson<TroupeConversationStarted>(const JsonReader& in);
template <>
TroupeAnniversaryTriggered fromJson<TroupeAnniversaryTriggered>(const JsonReader& in);

// Shared pieces of the troupe formats, for records built on top of these. The readers
// take a JsonReader or any reader with its getters (see troupe_simdjson_reader.h).
// A date as ISO 8601 UTC text with whole seconds (a fraction is floored).
OrderedJson troupeDateJson(Date date);
// Reads "yyyy-MM-ddTHH:mm:ssZ"; anything else, a fraction included, is corrupted data.
template <typename In>
Date troupeDate(const In& in) {
    const std::string_view text = in.string();
    // The troupe coders write whole seconds only: "yyyy-MM-ddTHH:mm:ssZ".
    constexpr std::size_t kLength = 20;
    auto date = text.size() == kLength ? parseIso8601(text) : std::nullopt;
    if (!date) in.fail(JsonErrorKind::dataCorrupted, "Expected date string to be ISO8601-formatted.");
    return *date;
}
// A UUID as upper-case text; reads either case, 36-character form only.
OrderedJson troupeUuidJson(const Uuid& id);
// An enumeration as its wire string; an unknown string is corrupted data naming it.
template <TroupeEnum E, typename In>
E troupeEnum(const In& in) {
    const std::string_view text = in.string();
    if (auto value = fromRawValue<E>(text)) return *value;
    in.fail(JsonErrorKind::dataCorrupted, std::string("Cannot initialize ") + TroupeEnumTraits<E>::typeName +
                                              " from invalid String value " + std::string(text));
}
// Null is a missing value, any other non-object a type mismatch.
template <typename In>
void troupeExpectObject(const In& in) {
    if (in.isNull()) in.fail(JsonErrorKind::valueNotFound, "Expected an object but found null");
    if (!in.isObject()) in.fail(JsonErrorKind::typeMismatch, "Expected an object");
}
// Any JSON number, refusing values that do not fit a finite double.
template <typename In>
double troupeDouble(const In& in) {
    const double value = in.number();
    // A literal too large for a double would come back as infinity and could never be written again.
    if (!std::isfinite(value)) in.fail(JsonErrorKind::dataCorrupted, "Number does not fit a finite double");
    return value;
}
template <typename In>
std::vector<std::string> troupeStringList(const In& in) {
    std::vector<std::string> out;
    const auto items = in.elements();
    out.reserve(items.size());
    for (const auto& item : items) out.emplace_back(item.string());
    return out;
}
OrderedJson troupeStringListJson(const std::vector<std::string>& list);

// The seven fields a legacy flea shares with "flea_created", written and read in
// their common order.
template <typename Flea>
void writeTroupeFleaFields(OrderedJson& o, const Flea& r) {
    o["fleaId"] = troupeUuidJson(r.fleaId);
    o["name"] = r.name;
    o["bodyColorIndex"] = r.bodyColorIndex;
    o["hatKind"] = r.hatKind;
    o["discoveredAct"] = r.discoveredAct;
    o["createdAt"] = troupeDateJson(r.createdAt);
    o["traits"] = troupeStringListJson(r.traits);
}
template <typename In, typename Flea>
void readTroupeFleaFields(const In& in, Flea& r) {
    r.fleaId = in["fleaId"].uuid();
    r.name = in["name"].string();
    r.bodyColorIndex = in["bodyColorIndex"].int64();
    r.hatKind = in["hatKind"].string();
    r.discoveredAct = in["discoveredAct"].string();
    r.createdAt = troupeDate(in["createdAt"]);
    r.traits = troupeStringList(in["traits"]);
}

}  // namespace tw
