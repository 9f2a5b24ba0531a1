#pragma once
// JSON of the agent records: keys are the field names, absent optionals are left out,
// decoding is strict (a missing or mistyped field or an unknown enum string fails the
// whole record with JsonDecodeError) and applies no clamps, cuts or defaults.
// Unknown keys are ignored. Encoding a NaN or infinite double throws JsonEncodeError.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_records.h"
#include "platform/json.h"
#include "platform/raw_enum.h"

namespace tw {

// Enumerations encode as their raw string; an unknown string is dataCorrupted.
template <RawEnum E>
OrderedJson toJson(E value) {
    return OrderedJson(std::string(rawValue(value)));
}

template <RawEnum E>
void fromJson(const JsonReader& reader, E& out) {
    const std::string& raw = reader.string();
    auto value = fromRawValue<E>(raw);
    if (!value) reader.fail(JsonErrorKind::dataCorrupted, "unknown value \"" + raw + "\"");
    out = *value;
}

OrderedJson toJson(const VoiceCard& value);
OrderedJson toJson(const MoodDimensions& value);
OrderedJson toJson(const WorldSnapshot& value);
OrderedJson toJson(const StageState& value);
OrderedJson toJson(const AgentMemory& value);
OrderedJson toJson(const MemoriesByTier& value);
OrderedJson toJson(const AgentPosition& value);
OrderedJson toJson(const DialogueHook& value);
OrderedJson toJson(const AgentIntent& value);
OrderedJson toJson(const AgentInput& value);

// On failure they throw and leave `out` untouched.
void fromJson(const JsonReader& reader, VoiceCard& out);
void fromJson(const JsonReader& reader, MoodDimensions& out);
void fromJson(const JsonReader& reader, WorldSnapshot& out);
void fromJson(const JsonReader& reader, StageState& out);
void fromJson(const JsonReader& reader, AgentMemory& out);
void fromJson(const JsonReader& reader, MemoriesByTier& out);
void fromJson(const JsonReader& reader, AgentPosition& out);
void fromJson(const JsonReader& reader, DialogueHook& out);
void fromJson(const JsonReader& reader, AgentIntent& out);
void fromJson(const JsonReader& reader, AgentInput& out);

// decodeJson<AgentIntent>(reader): the decoded value, or JsonDecodeError.
template <typename T>
T decodeJson(const JsonReader& reader) {
    T value{};
    fromJson(reader, value);
    return value;
}

// decodeJson<T> of the member `key`, or nothing when it is absent or null.
template <typename T>
std::optional<T> decodeOptionalJson(const JsonReader& reader, std::string_view key) {
    auto member = reader.optional(key);
    if (!member) return std::nullopt;
    return decodeJson<T>(*member);
}

// Fails with valueNotFound on null and typeMismatch on any other non-object, at the
// reader's own path, before a record looks at its members.
void requireJsonObject(const JsonReader& reader);

template <typename T>
OrderedJson recordArray(const std::vector<T>& values) {
    OrderedJson array = OrderedJson::array();
    for (const auto& v : values) array.push_back(toJson(v));
    return array;
}

template <typename T>
std::vector<T> readRecordArray(const JsonReader& reader) {
    std::vector<T> values;
    for (const auto& element : reader.elements()) values.push_back(decodeJson<T>(element));
    return values;
}

}  // namespace tw
