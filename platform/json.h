#pragma once
// Strict JSON decoding and careful encoding on nlohmann-json.
//
// Decoders of outside data never trust a value's type: JsonReader checks every
// value itself and throws JsonDecodeError with one of four kinds and the key path
// ("events[3].payload.name"). Integers must be integer tokens inside int64 (2.9,
// "3" and 2^63 are refused); doubles accept any number; booleans are not numbers.
// Encoders refuse NaN and infinity instead of writing null.
//
// Reading goes through JsonDocument, whose building and lookups stay linear in the
// input; OrderedJson (insertion order, linear lookups) is for what is written.
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date.h"
#include "platform/json_document.h"
#include "platform/uuid.h"

namespace tw {

enum class JsonErrorKind { keyNotFound, valueNotFound, typeMismatch, dataCorrupted };
const char* toString(JsonErrorKind kind);

class JsonDecodeError : public std::runtime_error {
   public:
    // `expectedType` names the type a mismatched value should have been read as
    // ("TroupeSettingValue"); it shows in the full text.
    JsonDecodeError(JsonErrorKind kind, std::string path, std::string detail, std::string expectedType = {});
    JsonErrorKind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    const std::string& detail() const { return detail_; }
    const std::string& expectedType() const { return expectedType_; }  // empty when none was named

   private:
    JsonErrorKind kind_;
    std::string path_;
    std::string detail_;
    std::string expectedType_;
};

class JsonEncodeError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

// Parses text into a value for editing or writing; a syntax error (or invalid UTF-8,
// or text over sizeLimit) is a dataCorrupted error at path "". Readers should parse
// with JsonDocument::parse instead, which builds no ordered object.
OrderedJson parseJson(std::string_view text, std::size_t sizeLimit = kJsonSizeLimit);

// A read-only cursor over a parsed value that knows its path (worked out only when
// an error or a caller asks for it).
class JsonReader {
   public:
    // Reads the document in place: it must outlive every reader taken from it.
    explicit JsonReader(const JsonDocument& document, std::string path = "");
    // A temporary document would be gone before the readers taken from it.
    explicit JsonReader(JsonDocument&& document, std::string path = "") = delete;
    // Reads a copy of the value, which the readers taken from this one share.
    explicit JsonReader(const OrderedJson& value, std::string path = "");

    JsonType type() const { return node().type; }
    OrderedJson raw() const { return document_->toOrderedJson(index_); }  // a copy
    std::string path() const;

    bool isNull() const { return type() == JsonType::null; }
    bool isObject() const { return type() == JsonType::object; }
    bool isArray() const { return type() == JsonType::array; }
    bool has(std::string_view key) const;  // present (null counts as present)

    // Member access: throws keyNotFound when absent, valueNotFound when null
    // (for the typed getters below), typeMismatch when this is not an object.
    JsonReader operator[](std::string_view key) const;
    // Absent or null -> nullopt.
    std::optional<JsonReader> optional(std::string_view key) const;
    // Array access.
    std::size_t size() const;  // array length or object member count
    JsonReader at(std::size_t index) const;
    std::vector<JsonReader> elements() const;  // typeMismatch unless an array
    // Object members in document order.
    std::vector<std::pair<std::string, JsonReader>> members() const;

    // Typed values (valueNotFound on null, typeMismatch on the wrong type).
    bool boolean() const;
    std::int64_t int64() const;    // integer token inside int64
    std::uint64_t uint64() const;  // non-negative integer token inside uint64
    int int32() const;             // integer token inside int32
    double number() const;         // any number
    const std::string& string() const;
    Uuid uuid() const;           // string, 36-char hyphenated form
    Date iso8601Date() const;    // string, strict ISO 8601
    Date referenceDate() const;  // number: seconds since 2001-01-01

    // Helpers for optional members.
    std::optional<bool> optionalBoolean(std::string_view key) const;
    std::optional<std::int64_t> optionalInt64(std::string_view key) const;
    std::optional<double> optionalNumber(std::string_view key) const;
    std::optional<std::string> optionalString(std::string_view key) const;
    std::optional<Uuid> optionalUuid(std::string_view key) const;

    [[noreturn]] void fail(JsonErrorKind kind, const std::string& detail) const;
    // A type mismatch that names the type the value could not be read as.
    [[noreturn]] void failTypeMismatch(std::string_view expectedType, const std::string& detail) const;

   private:
    // What only some readers need, shared by every reader taken from them.
    struct Context {
        std::shared_ptr<const JsonDocument> owned;
        std::string basePath;
    };
    JsonReader(const JsonDocument* document, std::uint32_t index, std::shared_ptr<const Context> context)
        : document_(document), index_(index), context_(std::move(context)) {}
    const JsonDocument::Node& node() const { return document_->node(index_); }
    JsonReader child(std::uint32_t index) const { return JsonReader(document_, index, context_); }
    std::string childPath(std::string_view key) const;
    [[noreturn]] void failExpecting(const char* expected) const;

    const JsonDocument* document_;
    std::uint32_t index_;
    std::shared_ptr<const Context> context_;
};

// A finite double as a JSON value; throws JsonEncodeError on NaN or infinity.
OrderedJson finiteJson(double value, std::string_view what = "value");
// Serializes without escaping non-ASCII (UTF-8 kept as is); invalid UTF-8 is replaced.
std::string dumpJson(const OrderedJson& value, int indent = -1);

}  // namespace tw
