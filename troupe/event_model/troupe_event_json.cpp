// JSON of the payload union and the envelope, and the one-line form of the log.
#include <array>
#include <utility>
#include <vector>

#include "troupe/event_model/troupe_json.h"

namespace tw {

namespace {

using PayloadDecoder = TroupePayload (*)(const JsonReader&);

// One decoder per alternative, indexed by TroupeEventKind.
template <std::size_t... I>
constexpr std::array<PayloadDecoder, sizeof...(I)> makePayloadDecoders(std::index_sequence<I...>) {
    return {[](const JsonReader& body) -> TroupePayload {
        return fromJson<std::variant_alternative_t<I, TroupePayloadValue>>(body);
    }...};
}

constexpr auto kPayloadDecoders =
    makePayloadDecoders(std::make_index_sequence<std::variant_size_v<TroupePayloadValue>>{});

}  // namespace

OrderedJson toJson(const TroupePayload& payload) {
    OrderedJson o = OrderedJson::object();
    o["kind"] = rawValue(static_cast<TroupeEventKind>(payload.value.index()));
    o["body"] = std::visit([](const auto& record) { return toJson(record); }, payload.value);
    return o;
}

template <>
TroupePayload fromJson<TroupePayload>(const JsonReader& in) {
    troupeExpectObject(in);
    // "kind" first: with both bad, the kind's error is the one reported.
    const auto kind = troupeEnum<TroupeEventKind>(in["kind"]);
    return kPayloadDecoders[static_cast<std::size_t>(kind)](in["body"]);
}

OrderedJson toJson(const TroupeEvent& event) {
    OrderedJson o = OrderedJson::object();
    o["id"] = troupeUuidJson(event.id);
    o["kind"] = rawValue(event.kind);
    o["payload"] = toJson(event.payload);
    o["ts"] = troupeDateJson(event.ts);
    o["deviceId"] = troupeUuidJson(event.deviceId);
    o["schemaVersion"] = event.schemaVersion;
    return o;
}

template <>
TroupeEvent fromJson<TroupeEvent>(const JsonReader& in) {
    troupeExpectObject(in);
    const auto id = in["id"].uuid();
    const auto kind = troupeEnum<TroupeEventKind>(in["kind"]);
    auto payload = fromJson<TroupePayload>(in["payload"]);
    const auto ts = troupeDate(in["ts"]);
    const auto deviceId = in["deviceId"].uuid();
    const auto schemaVersion = in["schemaVersion"].int64();
    return TroupeEvent{id, kind, std::move(payload), ts, deviceId, schemaVersion};
}

std::string encodeTroupeEventLine(const TroupeEvent& event) {
    // The map-backed Json holds every object's keys in byte order, as the log's coder
    // writes them; the conversion sorts each object once.
    const Json sorted(toJson(event));
    return sorted.dump(-1, ' ', false, Json::error_handler_t::replace);
}

TroupeEvent decodeTroupeEventLineReference(std::string_view line) {
    const JsonDocument document = JsonDocument::parse(line, kTroupeEventLineLimit);
    return fromJson<TroupeEvent>(JsonReader(document));
}

}  // namespace tw
