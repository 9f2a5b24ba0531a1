// Reading one log line fast: simdjson parses it and the record readers read its tree
// directly. A line they refuse there has its tree copied into the same JsonDocument the
// general parser fills and read again from that, and whatever simdjson refuses is read
// by the general parser, which has the last word on every error: every way gives the
// same event or the same error.
#include <simdjson.h>

#include "troupe/event_model/troupe_record_reading.h"
#include "troupe/event_model/troupe_simdjson_reader.h"

namespace tw {

namespace {

// Real lines are a few hundred bytes (a checkpoint a few hundred kilobytes); deeper or
// larger ones take the general parser.
constexpr std::size_t kFastDepth = 64;
// Lines above this size get a parser of their own, so the reused one stays small.
constexpr std::size_t kReusedCapacity = std::size_t{1} << 20;

void copyInto(JsonDocumentBuilder& builder, simdjson::dom::element value) {
    switch (value.type()) {
        case simdjson::dom::element_type::OBJECT:
            builder.beginObject();
            for (const auto member : simdjson::dom::object(value)) {
                builder.key(member.key);
                copyInto(builder, member.value);
            }
            builder.endObject();
            return;
        case simdjson::dom::element_type::ARRAY:
            builder.beginArray();
            for (const auto element : simdjson::dom::array(value)) copyInto(builder, element);
            builder.endArray();
            return;
        case simdjson::dom::element_type::INT64: {
            // The general parser keeps non-negative integers unsigned.
            const std::int64_t integer = value.get_int64().value_unsafe();
            if (integer >= 0) {
                builder.unsignedInteger(static_cast<std::uint64_t>(integer));
            } else {
                builder.integer(integer);
            }
            return;
        }
        case simdjson::dom::element_type::UINT64:
            builder.unsignedInteger(value.get_uint64().value_unsafe());
            return;
        case simdjson::dom::element_type::DOUBLE:
            builder.floating(value.get_double().value_unsafe());
            return;
        case simdjson::dom::element_type::STRING:
            builder.string(value.get_string().value_unsafe());
            return;
        case simdjson::dom::element_type::BOOL:
            builder.boolean(value.get_bool().value_unsafe());
            return;
        case simdjson::dom::element_type::NULL_VALUE:
            builder.null();
            return;
    }
}

struct FastLineReader {
    simdjson::dom::parser parser;
    JsonDocument document;
    JsonDocumentBuilder builder{document};

    // Without its depth limit the parser would take lines the general parser refuses.
    const bool ready = parser.allocate(4096, kFastDepth) == simdjson::SUCCESS;

    // The event, or nullopt when simdjson refuses the line. Throws JsonDecodeError.
    std::optional<TroupeEvent> read(std::string_view line) {
        simdjson::dom::element root;
        if (!ready || parser.parse(line.data(), line.size()).get(root) != simdjson::SUCCESS)
            return std::nullopt;
        try {
            return readTroupeEvent(TroupeSimdjsonReader(root));
        } catch (const TroupeSimdjsonRefusal&) {
        }
        builder.restart();
        copyInto(builder, root);
        return fromJson<TroupeEvent>(JsonReader(document));
    }
};

}  // namespace

TroupeEvent decodeTroupeEventLine(std::string_view line) {
    if (line.size() > kTroupeEventLineLimit) return decodeTroupeEventLineReference(line);
    std::optional<TroupeEvent> event;
    if (line.size() > kReusedCapacity) {
        FastLineReader once;
        event = once.read(line);
    } else {
        thread_local FastLineReader reader;
        event = reader.read(line);
    }
    if (!event) return decodeTroupeEventLineReference(line);
    return std::move(*event);
}

}  // namespace tw
