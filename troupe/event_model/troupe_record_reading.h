#pragma once
// Reading the body records, the payload and the envelope, written once for any reader
// with JsonReader's getters: the general JsonReader, or the log's fast reader over
// simdjson's tree (troupe_simdjson_reader.h). Both run the very same steps, so they
// read the same record; only the general reader's errors are ever reported.
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "troupe/event_model/troupe_json.h"

namespace tw {

template <typename In>
std::optional<std::vector<std::string>> troupeOptionalStringList(const In& in, std::string_view key) {
    auto member = in.optional(key);
    if (!member) return std::nullopt;
    return troupeStringList(*member);
}

template <TroupeEnum E, typename In>
std::optional<E> troupeOptionalEnum(const In& in, std::string_view key) {
    auto member = in.optional(key);
    if (!member) return std::nullopt;
    return troupeEnum<E>(*member);
}

// Readings in a fixed order, the first that fits wins: null, bool, int64, double,
// string, array of strings.
template <typename In>
TroupeSettingValue readTroupeSettingValue(const In& in) {
    switch (in.type()) {
        case JsonType::null:
            return TroupeSettingValue::null();
        case JsonType::boolean:
            return TroupeSettingValue::ofBool(in.boolean());
        case JsonType::integer:
            return TroupeSettingValue::ofInt(in.int64());
        case JsonType::unsignedInteger: {
            const auto u = in.uint64();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return TroupeSettingValue::ofInt(static_cast<std::int64_t>(u));
            }
            return TroupeSettingValue::ofDouble(static_cast<double>(u));
        }
        case JsonType::floating:
            if (std::isfinite(in.number())) return TroupeSettingValue::ofDouble(in.number());
            break;
        case JsonType::string:
            return TroupeSettingValue::ofString(std::string(in.string()));
        case JsonType::array: {
            std::vector<std::string> list;
            list.reserve(in.size());
            bool allStrings = true;
            for (const auto& item : in.elements()) {
                if (item.type() != JsonType::string) {
                    allStrings = false;
                    break;
                }
                list.emplace_back(item.string());
            }
            if (allStrings) return TroupeSettingValue::ofStringArray(std::move(list));
            break;
        }
        case JsonType::object:
            break;
    }
    in.failTypeMismatch("TroupeSettingValue", "Unsupported setting value type");
}

// ---- flea lifecycle and progress ----

template <typename In>
TroupeFleaCreated readTroupeRecord(const In& in, std::type_identity<TroupeFleaCreated>) {
    troupeExpectObject(in);
    TroupeFleaCreated out;
    readTroupeFleaFields(in, out);
    return out;
}

template <typename In>
TroupeFleaRenamed readTroupeRecord(const In& in, std::type_identity<TroupeFleaRenamed>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    return TroupeFleaRenamed{fleaId, std::string(in["newName"].string())};
}

template <typename In>
TroupeFleaRecustomized readTroupeRecord(const In& in, std::type_identity<TroupeFleaRecustomized>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto hatKind = in.optionalString("hatKind");
    auto bodyColorIndex = in.optionalInt64("bodyColorIndex");
    auto traits = troupeOptionalStringList(in, "traits");
    auto voiceStyle = in.optionalString("voiceStyle");
    auto ambition = in.optionalString("ambition");
    auto superstitions = troupeOptionalStringList(in, "superstitions");
    return TroupeFleaRecustomized{fleaId,
                                  std::move(hatKind),
                                  bodyColorIndex,
                                  std::move(traits),
                                  std::move(voiceStyle),
                                  std::move(ambition),
                                  std::move(superstitions)};
}

template <typename In>
TroupeFleaIdOnly readTroupeRecord(const In& in, std::type_identity<TroupeFleaIdOnly>) {
    troupeExpectObject(in);
    return TroupeFleaIdOnly{in["fleaId"].uuid()};
}

template <typename In>
TroupeXPEarned readTroupeRecord(const In& in, std::type_identity<TroupeXPEarned>) {
    troupeExpectObject(in);
    auto fleaId = in.optionalUuid("fleaId");
    auto amount = in["amount"].int64();
    auto source = troupeEnum<TroupeXPSource>(in["source"]);
    return TroupeXPEarned{fleaId, amount, source};
}

template <typename In>
TroupeNodeUnlocked readTroupeRecord(const In& in, std::type_identity<TroupeNodeUnlocked>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    std::string actKey(in["actKey"].string());
    std::string nodeId(in["nodeId"].string());
    auto xpCost = in["xpCost"].int64();
    return TroupeNodeUnlocked{fleaId, std::move(actKey), std::move(nodeId), xpCost};
}

template <typename In>
TroupeActAssigned readTroupeRecord(const In& in, std::type_identity<TroupeActAssigned>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    return TroupeActAssigned{fleaId, std::string(in["actKey"].string())};
}

// ---- stats, milestones, surprises, settings, device sessions ----

template <typename In>
TroupeCumulativeStatTick readTroupeRecord(const In& in, std::type_identity<TroupeCumulativeStatTick>) {
    troupeExpectObject(in);
    auto stat = troupeEnum<TroupeCumulativeStat>(in["stat"]);
    return TroupeCumulativeStatTick{stat, troupeDouble(in["delta"])};
}

template <typename In>
TroupeMilestoneEarned readTroupeRecord(const In& in, std::type_identity<TroupeMilestoneEarned>) {
    troupeExpectObject(in);
    return TroupeMilestoneEarned{std::string(in["milestoneId"].string())};
}

template <typename In>
TroupeMilestoneAcknowledged readTroupeRecord(const In& in, std::type_identity<TroupeMilestoneAcknowledged>) {
    troupeExpectObject(in);
    std::string milestoneId(in["milestoneId"].string());
    return TroupeMilestoneAcknowledged{std::move(milestoneId), in["ackDeviceId"].uuid()};
}

template <typename In>
TroupeSurpriseEventFired readTroupeRecord(const In& in, std::type_identity<TroupeSurpriseEventFired>) {
    troupeExpectObject(in);
    return TroupeSurpriseEventFired{std::string(in["eventKind"].string())};
}

template <typename In>
TroupeSettingChanged readTroupeRecord(const In& in, std::type_identity<TroupeSettingChanged>) {
    troupeExpectObject(in);
    std::string key(in["key"].string());
    // Present-but-null is the `null` setting value; only a missing key fails.
    auto value = readTroupeSettingValue(in["value"]);
    return TroupeSettingChanged{std::move(key), std::move(value)};
}

template <typename In>
TroupeDeviceSessionStart readTroupeRecord(const In& in, std::type_identity<TroupeDeviceSessionStart>) {
    troupeExpectObject(in);
    auto deviceKind = troupeEnum<TroupeDeviceKind>(in["deviceKind"]);
    return TroupeDeviceSessionStart{deviceKind, in.optionalString("deviceName")};
}

template <typename In>
TroupeDeviceSessionEnd readTroupeRecord(const In& in, std::type_identity<TroupeDeviceSessionEnd>) {
    troupeExpectObject(in);
    return TroupeDeviceSessionEnd{troupeDouble(in["durationSeconds"])};
}

// ---- correspondence ----

template <typename In>
TroupeFleaMessageFromUser readTroupeRecord(const In& in, std::type_identity<TroupeFleaMessageFromUser>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto messageId = in["messageId"].uuid();
    std::string body(in["body"].string());
    auto conversationId = in.optionalUuid("conversationId");
    return TroupeFleaMessageFromUser{fleaId, messageId, std::move(body), conversationId};
}

template <typename In>
TroupeFleaMessageFromFlea readTroupeRecord(const In& in, std::type_identity<TroupeFleaMessageFromFlea>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto messageId = in["messageId"].uuid();
    std::string body(in["body"].string());
    auto inReplyTo = in.optionalUuid("inReplyTo");
    auto modelTier = troupeEnum<TroupeMessageSource>(in["modelTier"]);
    auto conversationId = in.optionalUuid("conversationId");
    return TroupeFleaMessageFromFlea{fleaId,    messageId, std::move(body),
                                     inReplyTo, modelTier, conversationId};
}

template <typename In>
TroupeLetterWritten readTroupeRecord(const In& in, std::type_identity<TroupeLetterWritten>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto letterId = in["letterId"].uuid();
    std::string body(in["body"].string());
    auto periodStart = troupeDate(in["periodStart"]);
    auto periodEnd = troupeDate(in["periodEnd"]);
    auto anniversaryKind = troupeOptionalEnum<TroupeAnniversaryKind>(in, "anniversaryKind");
    return TroupeLetterWritten{fleaId, letterId, std::move(body), periodStart, periodEnd, anniversaryKind};
}

template <typename In>
TroupeLetterId readTroupeRecord(const In& in, std::type_identity<TroupeLetterId>) {
    troupeExpectObject(in);
    return TroupeLetterId{in["letterId"].uuid()};
}

template <typename In>
TroupeLetterAcknowledged readTroupeRecord(const In& in, std::type_identity<TroupeLetterAcknowledged>) {
    troupeExpectObject(in);
    auto letterId = in["letterId"].uuid();
    return TroupeLetterAcknowledged{letterId, in.optionalUuid("replyMessageId")};
}

template <typename In>
TroupeConversationStarted readTroupeRecord(const In& in, std::type_identity<TroupeConversationStarted>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    return TroupeConversationStarted{fleaId, in["conversationId"].uuid()};
}

template <typename In>
TroupeAnniversaryTriggered readTroupeRecord(const In& in, std::type_identity<TroupeAnniversaryTriggered>) {
    troupeExpectObject(in);
    auto fleaId = in["fleaId"].uuid();
    auto kind = troupeEnum<TroupeAnniversaryKind>(in["anniversaryKind"]);
    return TroupeAnniversaryTriggered{fleaId, kind, troupeDate(in["originalEventTs"])};
}

// ---- payload and envelope ----

// Whole-state bodies (legacy state, checkpoint) are read by the general reader alone;
// any other reader refuses them, and the line goes the general way.
template <typename T, typename In>
T readTroupeBody(const In& in) {
    if constexpr (requires { readTroupeRecord(in, std::type_identity<T>{}); }) {
        return readTroupeRecord(in, std::type_identity<T>{});
    } else if constexpr (std::is_same_v<In, JsonReader>) {
        return fromJson<T>(in);
    } else {
        in.fail(JsonErrorKind::typeMismatch, "a whole-state body");
    }
}

template <typename In>
TroupePayload readTroupePayload(const In& in) {
    using BodyReader = TroupePayload (*)(const In&);
    // One reader per alternative, indexed by TroupeEventKind.
    static constexpr auto kReaders = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<BodyReader, sizeof...(I)>{[](const In& body) -> TroupePayload {
            return readTroupeBody<std::variant_alternative_t<I, TroupePayloadValue>>(body);
        }...};
    }
    (std::make_index_sequence<std::variant_size_v<TroupePayloadValue>>{});
    troupeExpectObject(in);
    // "kind" first: with both bad, the kind's error is the one reported.
    const auto kind = troupeEnum<TroupeEventKind>(in["kind"]);
    return kReaders[static_cast<std::size_t>(kind)](in["body"]);
}

template <typename In>
TroupeEvent readTroupeEvent(const In& in) {
    troupeExpectObject(in);
    const auto id = in["id"].uuid();
    const auto kind = troupeEnum<TroupeEventKind>(in["kind"]);
    auto payload = readTroupePayload(in["payload"]);
    const auto ts = troupeDate(in["ts"]);
    const auto deviceId = in["deviceId"].uuid();
    const auto schemaVersion = in["schemaVersion"].int64();
    return TroupeEvent{id, kind, std::move(payload), ts, deviceId, schemaVersion};
}

}  // namespace tw
