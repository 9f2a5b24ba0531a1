#include "platform/json.h"

#include <cmath>
#include <limits>

namespace tw {

namespace {

std::string describeType(JsonType type) {
    switch (type) {
        case JsonType::floating:
            return "a floating-point number";
        case JsonType::integer:
        case JsonType::unsignedInteger:
            return "an integer";
        case JsonType::boolean:
            return "a boolean";
        case JsonType::string:
            return "a string";
        case JsonType::array:
            return "an array";
        case JsonType::object:
            return "an object";
        case JsonType::null:
            return "null";
    }
    return "an unknown value";
}

std::string composeMessage(JsonErrorKind kind, const std::string& path, const std::string& detail,
                           const std::string& expectedType) {
    std::string message = toString(kind);
    if (!expectedType.empty()) message += " (expected " + expectedType + ")";
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

JsonDecodeError::JsonDecodeError(JsonErrorKind kind, std::string path, std::string detail,
                                 std::string expectedType)
    : std::runtime_error(composeMessage(kind, path, detail, expectedType)),
      kind_(kind),
      path_(std::move(path)),
      detail_(std::move(detail)),
      expectedType_(std::move(expectedType)) {}

OrderedJson parseJson(std::string_view text, std::size_t sizeLimit) {
    return JsonDocument::parse(text, sizeLimit).toOrderedJson();
}

// MARK: - JsonReader

JsonReader::JsonReader(const JsonDocument& document, std::string path)
    : document_(&document),
      index_(0),
      context_(path.empty() ? nullptr : std::make_shared<const Context>(Context{nullptr, std::move(path)})) {}

JsonReader::JsonReader(const OrderedJson& value, std::string path) : index_(0) {
    auto copy = std::make_shared<const JsonDocument>(JsonDocument::of(value));
    document_ = copy.get();
    context_ = std::make_shared<const Context>(Context{std::move(copy), std::move(path)});
}

void JsonReader::fail(JsonErrorKind kind, const std::string& detail) const {
    throw JsonDecodeError(kind, path(), detail);
}

void JsonReader::failTypeMismatch(std::string_view expectedType, const std::string& detail) const {
    throw JsonDecodeError(JsonErrorKind::typeMismatch, path(), detail, std::string(expectedType));
}

void JsonReader::failExpecting(const char* expected) const {
    if (isNull()) fail(JsonErrorKind::valueNotFound, std::string("expected ") + expected + ", found null");
    fail(JsonErrorKind::typeMismatch,
         std::string("expected ") + expected + ", found " + describeType(type()));
}

std::string JsonReader::path() const {
    std::string result = context_ ? context_->basePath : std::string();
    std::vector<std::uint32_t> chain;
    for (std::uint32_t at = index_; document_->node(at).parent != JsonDocument::kNone;
         at = document_->node(at).parent) {
        chain.push_back(at);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const JsonDocument::Node& n = document_->node(*it);
        const JsonDocument::Node& parent = document_->node(n.parent);
        if (parent.type == JsonType::array) {
            // Appended piece by piece: "[" + std::to_string(...) trips a false -Wrestrict in GCC 12.
            result += '[';
            result += std::to_string(n.slot);
            result += ']';
            continue;
        }
        if (!result.empty()) result += '.';
        result += document_->key(document_->member(parent, n.slot));
    }
    return result;
}

std::string JsonReader::childPath(std::string_view key) const {
    std::string result = path();
    if (!result.empty()) result += '.';
    result += key;
    return result;
}

bool JsonReader::has(std::string_view key) const {
    return isObject() && document_->find(node(), key) != JsonDocument::kNone;
}

JsonReader JsonReader::operator[](std::string_view key) const {
    if (!isObject()) fail(JsonErrorKind::typeMismatch, "expected an object, found " + describeType(type()));
    const auto found = document_->find(node(), key);
    if (found == JsonDocument::kNone) {
        throw JsonDecodeError(JsonErrorKind::keyNotFound, childPath(key),
                              "no value for key \"" + std::string(key) + "\"");
    }
    return child(found);
}

std::optional<JsonReader> JsonReader::optional(std::string_view key) const {
    if (!isObject()) fail(JsonErrorKind::typeMismatch, "expected an object, found " + describeType(type()));
    const auto found = document_->find(node(), key);
    if (found == JsonDocument::kNone || document_->node(found).type == JsonType::null) return std::nullopt;
    return child(found);
}

std::size_t JsonReader::size() const {
    if (isArray() || isObject()) return node().count;
    failExpecting("an array or object");
}

JsonReader JsonReader::at(std::size_t index) const {
    if (!isArray()) failExpecting("an array");
    if (index >= node().count) {
        throw JsonDecodeError(JsonErrorKind::valueNotFound, path() + "[" + std::to_string(index) + "]",
                              "index past the end of an array of " + std::to_string(node().count));
    }
    return child(document_->member(node(), static_cast<std::uint32_t>(index)).value);
}

std::vector<JsonReader> JsonReader::elements() const {
    if (!isArray()) failExpecting("an array");
    const JsonDocument::Node& n = node();
    std::vector<JsonReader> result;
    result.reserve(n.count);
    for (std::uint32_t i = 0; i < n.count; ++i) result.push_back(child(document_->member(n, i).value));
    return result;
}

std::vector<std::pair<std::string, JsonReader>> JsonReader::members() const {
    if (!isObject()) failExpecting("an object");
    const JsonDocument::Node& n = node();
    std::vector<std::pair<std::string, JsonReader>> result;
    result.reserve(n.count);
    for (std::uint32_t i = 0; i < n.count; ++i) {
        const JsonDocument::Member& m = document_->member(n, i);
        result.emplace_back(std::string(document_->key(m)), child(m.value));
    }
    return result;
}

// MARK: - Typed values

bool JsonReader::boolean() const {
    if (type() != JsonType::boolean) failExpecting("a boolean");
    return node().boolean;
}

std::int64_t JsonReader::int64() const {
    const JsonDocument::Node& n = node();
    if (n.type == JsonType::integer) return n.integer;
    if (n.type != JsonType::unsignedInteger) failExpecting("an integer");
    if (n.unsignedInteger > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        fail(JsonErrorKind::dataCorrupted,
             "number " + std::to_string(n.unsignedInteger) + " does not fit in a 64-bit signed integer");
    }
    return static_cast<std::int64_t>(n.unsignedInteger);
}

std::uint64_t JsonReader::uint64() const {
    const JsonDocument::Node& n = node();
    if (n.type == JsonType::unsignedInteger) return n.unsignedInteger;
    if (n.type != JsonType::integer) failExpecting("an unsigned integer");
    if (n.integer < 0)
        fail(JsonErrorKind::dataCorrupted, "number " + std::to_string(n.integer) + " is negative");
    return static_cast<std::uint64_t>(n.integer);
}

int JsonReader::int32() const {
    const JsonDocument::Node& n = node();
    if (n.type == JsonType::integer && n.integer >= std::numeric_limits<int>::min() &&
        n.integer <= std::numeric_limits<int>::max()) {
        return static_cast<int>(n.integer);
    }
    if (n.type == JsonType::unsignedInteger &&
        n.unsignedInteger <= static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        return static_cast<int>(n.unsignedInteger);
    }
    if (n.type != JsonType::integer && n.type != JsonType::unsignedInteger) failExpecting("an integer");
    const std::string text =
        n.type == JsonType::integer ? std::to_string(n.integer) : std::to_string(n.unsignedInteger);
    fail(JsonErrorKind::dataCorrupted, "number " + text + " does not fit in a 32-bit integer");
}

double JsonReader::number() const {
    const JsonDocument::Node& n = node();
    switch (n.type) {
        case JsonType::floating:
            return n.floating;
        case JsonType::integer:
            return static_cast<double>(n.integer);
        case JsonType::unsignedInteger:
            return static_cast<double>(n.unsignedInteger);
        default:
            failExpecting("a number");
    }
}

const std::string& JsonReader::string() const {
    if (type() != JsonType::string) failExpecting("a string");
    return document_->text(node().first);
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
