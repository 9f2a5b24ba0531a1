#include "platform/json.h"

#include <cmath>
#include <limits>

namespace tw {

namespace {

// Deeper documents are refused up front: copying, comparing and printing a
// value recurse once per level, so hostile nesting must never reach them.
constexpr int kMaxNestingDepth = 512;

bool nestingTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNestingDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

std::string describeType(const OrderedJson& value) {
    if (value.is_number_float()) return "a floating-point number";
    if (value.is_number_integer()) return "an integer";
    if (value.is_boolean()) return "a boolean";
    if (value.is_string()) return "a string";
    if (value.is_array()) return "an array";
    if (value.is_object()) return "an object";
    if (value.is_null()) return "null";
    return value.type_name();
}

std::string composeMessage(JsonErrorKind kind, const std::string& path, const std::string& detail) {
    std::string message = toString(kind);
    message += path.empty() ? std::string(" at the top level") : " at \"" + path + "\"";
    if (!detail.empty()) message += ": " + detail;
    return message;
}

}  // namespace

const char* toString(JsonErrorKind kind) {
    switch (kind) {
        case JsonErrorKind::keyNotFound:
            return "keyNotFound";
        case JsonErrorKind::valueNotFound:
            return "valueNotFound";
        case JsonErrorKind::typeMismatch:
            return "typeMismatch";
        case JsonErrorKind::dataCorrupted:
            return "dataCorrupted";
    }
    return "unknown";
}

JsonDecodeError::JsonDecodeError(JsonErrorKind kind, std::string path, std::string detail)
    : std::runtime_error(composeMessage(kind, path, detail)),
      kind_(kind),
      path_(std::move(path)),
      detail_(std::move(detail)) {}

OrderedJson parseJson(std::string_view text) {
    if (nestingTooDeep(text)) {
        throw JsonDecodeError(JsonErrorKind::dataCorrupted, "",
                              "nesting deeper than " + std::to_string(kMaxNestingDepth) + " levels");
    }
    try {
        return OrderedJson::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& error) {
        throw JsonDecodeError(JsonErrorKind::dataCorrupted, "", error.what());
    }
}

// MARK: - JsonReader

JsonReader::JsonReader(const OrderedJson& value, std::string path) : value_(&value), path_(std::move(path)) {}

void JsonReader::fail(JsonErrorKind kind, const std::string& detail) const {
    throw JsonDecodeError(kind, path_, detail);
}

std::string JsonReader::childPath(std::string_view key) const {
    if (path_.empty()) return std::string(key);
    std::string result = path_;
    result += '.';
    result += key;
    return result;
}

std::string JsonReader::childPath(std::size_t index) const {
    return path_ + "[" + std::to_string(index) + "]";
}

bool JsonReader::has(std::string_view key) const {
    return value_->is_object() && value_->find(key) != value_->end();
}

JsonReader JsonReader::operator[](std::string_view key) const {
    if (!value_->is_object()) {
        fail(JsonErrorKind::typeMismatch, "expected an object, found " + describeType(*value_));
    }
    auto found = value_->find(key);
    if (found == value_->end()) {
        throw JsonDecodeError(JsonErrorKind::keyNotFound, childPath(key),
                              "no value for key \"" + std::string(key) + "\"");
    }
    return JsonReader(*found, childPath(key));
}

std::optional<JsonReader> JsonReader::optional(std::string_view key) const {
    if (!value_->is_object()) {
        fail(JsonErrorKind::typeMismatch, "expected an object, found " + describeType(*value_));
    }
    auto found = value_->find(key);
    if (found == value_->end() || found->is_null()) return std::nullopt;
    return JsonReader(*found, childPath(key));
}

std::size_t JsonReader::size() const {
    if (value_->is_array() || value_->is_object()) return value_->size();
    if (value_->is_null()) fail(JsonErrorKind::valueNotFound, "expected an array or object, found null");
    fail(JsonErrorKind::typeMismatch, "expected an array or object, found " + describeType(*value_));
}

JsonReader JsonReader::at(std::size_t index) const {
    if (!value_->is_array()) {
        if (value_->is_null()) fail(JsonErrorKind::valueNotFound, "expected an array, found null");
        fail(JsonErrorKind::typeMismatch, "expected an array, found " + describeType(*value_));
    }
    if (index >= value_->size()) {
        throw JsonDecodeError(JsonErrorKind::valueNotFound, childPath(index),
                              "index past the end of an array of " + std::to_string(value_->size()));
    }
    return JsonReader((*value_)[index], childPath(index));
}

std::vector<JsonReader> JsonReader::elements() const {
    if (!value_->is_array()) {
        if (value_->is_null()) fail(JsonErrorKind::valueNotFound, "expected an array, found null");
        fail(JsonErrorKind::typeMismatch, "expected an array, found " + describeType(*value_));
    }
    std::vector<JsonReader> result;
    result.reserve(value_->size());
    for (std::size_t i = 0; i < value_->size(); ++i) {
        result.emplace_back((*value_)[i], childPath(i));
    }
    return result;
}

std::vector<std::pair<std::string, JsonReader>> JsonReader::members() const {
    if (!value_->is_object()) {
        if (value_->is_null()) fail(JsonErrorKind::valueNotFound, "expected an object, found null");
        fail(JsonErrorKind::typeMismatch, "expected an object, found " + describeType(*value_));
    }
    std::vector<std::pair<std::string, JsonReader>> result;
    result.reserve(value_->size());
    for (auto it = value_->begin(); it != value_->end(); ++it) {
        result.emplace_back(it.key(), JsonReader(it.value(), childPath(it.key())));
    }
    return result;
}

// MARK: - Typed values

namespace {

void requireValue(const JsonReader& reader, const char* expected) {
    if (reader.isNull()) {
        reader.fail(JsonErrorKind::valueNotFound, std::string("expected ") + expected + ", found null");
    }
}

[[noreturn]] void mismatch(const JsonReader& reader, const char* expected) {
    reader.fail(JsonErrorKind::typeMismatch,
                std::string("expected ") + expected + ", found " + describeType(reader.raw()));
}

}  // namespace

bool JsonReader::boolean() const {
    requireValue(*this, "a boolean");
    if (!value_->is_boolean()) mismatch(*this, "a boolean");
    return value_->get<bool>();
}

std::int64_t JsonReader::int64() const {
    requireValue(*this, "an integer");
    if (!value_->is_number_integer()) mismatch(*this, "an integer");
    if (value_->is_number_unsigned()) {
        auto value = value_->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail(JsonErrorKind::dataCorrupted,
                 "number " + std::to_string(value) + " does not fit in a 64-bit signed integer");
        }
        return static_cast<std::int64_t>(value);
    }
    return value_->get<std::int64_t>();
}

std::uint64_t JsonReader::uint64() const {
    requireValue(*this, "an unsigned integer");
    if (!value_->is_number_integer()) mismatch(*this, "an unsigned integer");
    if (value_->is_number_unsigned()) return value_->get<std::uint64_t>();
    auto value = value_->get<std::int64_t>();
    if (value < 0) {
        fail(JsonErrorKind::dataCorrupted, "number " + std::to_string(value) + " is negative");
    }
    return static_cast<std::uint64_t>(value);
}

int JsonReader::int32() const {
    requireValue(*this, "an integer");
    if (!value_->is_number_integer()) mismatch(*this, "an integer");
    bool fits = false;
    std::int64_t value = 0;
    if (value_->is_number_unsigned()) {
        auto unsignedValue = value_->get<std::uint64_t>();
        fits = unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<int>::max());
        value = fits ? static_cast<std::int64_t>(unsignedValue) : 0;
    } else {
        value = value_->get<std::int64_t>();
        fits = value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
    }
    if (!fits) {
        fail(JsonErrorKind::dataCorrupted, "number " + value_->dump() + " does not fit in a 32-bit integer");
    }
    return static_cast<int>(value);
}

double JsonReader::number() const {
    requireValue(*this, "a number");
    if (!value_->is_number()) mismatch(*this, "a number");
    return value_->get<double>();
}

const std::string& JsonReader::string() const {
    requireValue(*this, "a string");
    if (!value_->is_string()) mismatch(*this, "a string");
    return value_->get_ref<const std::string&>();
}

Uuid JsonReader::uuid() const {
    const std::string& text = string();
    auto parsed = Uuid::parse(text);
    if (!parsed) fail(JsonErrorKind::dataCorrupted, "\"" + text + "\" is not a valid UUID");
    return *parsed;
}

Date JsonReader::iso8601Date() const {
    const std::string& text = string();
    auto parsed = parseIso8601(text);
    if (!parsed) fail(JsonErrorKind::dataCorrupted, "\"" + text + "\" is not an ISO 8601 date");
    return *parsed;
}

Date JsonReader::referenceDate() const {
    double seconds = number();
    if (!std::isfinite(seconds)) fail(JsonErrorKind::dataCorrupted, "date is not a finite number");
    return Date{seconds};
}

std::optional<bool> JsonReader::optionalBoolean(std::string_view key) const {
    auto member = optional(key);
    if (!member) return std::nullopt;
    return member->boolean();
}

std::optional<std::int64_t> JsonReader::optionalInt64(std::string_view key) const {
    auto member = optional(key);
    if (!member) return std::nullopt;
    return member->int64();
}

std::optional<double> JsonReader::optionalNumber(std::string_view key) const {
    auto member = optional(key);
    if (!member) return std::nullopt;
    return member->number();
}

std::optional<std::string> JsonReader::optionalString(std::string_view key) const {
    auto member = optional(key);
    if (!member) return std::nullopt;
    return member->string();
}

std::optional<Uuid> JsonReader::optionalUuid(std::string_view key) const {
    auto member = optional(key);
    if (!member) return std::nullopt;
    return member->uuid();
}

// MARK: - Encoding

OrderedJson finiteJson(double value, std::string_view what) {
    if (!std::isfinite(value)) {
        throw JsonEncodeError(std::string(what) + " is not a finite number");
    }
    return OrderedJson(value);
}

std::string dumpJson(const OrderedJson& value, int indent) {
    return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tw
