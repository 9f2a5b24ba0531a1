// JSON of the payload union and the envelope, and the one-line form of the log.
#include <array>
#include <utility>
#include <vector>

#include "troupe/event_model/troupe_record_reading.h"

namespace tw {

OrderedJson toJson(const TroupePayload& payload) {
    OrderedJson o = OrderedJson::object();
    o["kind"] = rawValue(static_cast<TroupeEventKind>(payload.value.index()));
    o["body"] = std::visit([](const auto& record) { return toJson(record); }, payload.value);
    return o;
}

template <>
TroupePayload fromJson<TroupePayload>(const JsonReader& in) {
    return readTroupePayload(in);
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
    return readTroupeEvent(in);
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
