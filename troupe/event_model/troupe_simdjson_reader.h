#pragma once
// A reader over simdjson's parsed tree with the getters of JsonReader that the record
// readers use, and none of its errors: wherever JsonReader would fail, and on a key
// this reader looks up that an object repeats (where JsonReader takes the last value,
// simdjson would find the first), it throws TroupeSimdjsonRefusal and the line is
// read the general way, which has the last word on every error.
#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/json.h"
#include "platform/uuid.h"

namespace tw {

struct TroupeSimdjsonRefusal {};

class TroupeSimdjsonReader {
   public:
    explicit TroupeSimdjsonReader(simdjson::dom::element value) : value_(value) {}

    // Types as the general reader sees them: it keeps non-negative integers unsigned.
    JsonType type() const {
        switch (value_.type()) {
            case simdjson::dom::element_type::OBJECT:
                return JsonType::object;
            case simdjson::dom::element_type::ARRAY:
                return JsonType::array;
            case simdjson::dom::element_type::INT64:
                return value_.get_int64().value_unsafe() < 0 ? JsonType::integer : JsonType::unsignedInteger;
            case simdjson::dom::element_type::UINT64:
                return JsonType::unsignedInteger;
            case simdjson::dom::element_type::DOUBLE:
                return JsonType::floating;
            case simdjson::dom::element_type::STRING:
                return JsonType::string;
            case simdjson::dom::element_type::BOOL:
                return JsonType::boolean;
            case simdjson::dom::element_type::NULL_VALUE:
                return JsonType::null;
        }
        refuse();
    }
    bool isNull() const { return value_.is_null(); }
    bool isObject() const { return value_.is_object(); }

    TroupeSimdjsonReader operator[](std::string_view key) const {
        auto found = member(key);
        if (!found) refuse();
        return TroupeSimdjsonReader(*found);
    }
    // Absent or null -> nullopt.
    std::optional<TroupeSimdjsonReader> optional(std::string_view key) const {
        auto found = member(key);
        if (!found || found->is_null()) return std::nullopt;
        return TroupeSimdjsonReader(*found);
    }

    // The elements of an array, each as a reader.
    class Elements {
       public:
        explicit Elements(simdjson::dom::array array) : array_(array) {}
        struct Iterator {
            simdjson::dom::array::iterator at;
            TroupeSimdjsonReader operator*() const { return TroupeSimdjsonReader(*at); }
            Iterator& operator++() {
                ++at;
                return *this;
            }
            bool operator!=(const Iterator& other) const { return at != other.at; }
        };
        // Saturates at 2^24 - 1: a hint for reserving, not a count.
        std::size_t size() const { return array_.size(); }
        Iterator begin() const { return Iterator{array_.begin()}; }
        Iterator end() const { return Iterator{array_.end()}; }

       private:
        simdjson::dom::array array_;
    };
    Elements elements() const {
        simdjson::dom::array array;
        if (value_.get_array().get(array) != simdjson::SUCCESS) refuse();
        return Elements(array);
    }
    std::size_t size() const { return elements().size(); }

    bool boolean() const {
        bool value = false;
        if (value_.get_bool().get(value) != simdjson::SUCCESS) refuse();
        return value;
    }
    // Only integer tokens within int64: simdjson's UINT64 lies above that.
    std::int64_t int64() const {
        if (!value_.is_int64()) refuse();
        return value_.get_int64().value_unsafe();
    }
    std::uint64_t uint64() const {
        if (value_.is_uint64()) return value_.get_uint64().value_unsafe();
        refuse();
    }
    double number() const {
        switch (value_.type()) {
            case simdjson::dom::element_type::INT64:
                return static_cast<double>(value_.get_int64().value_unsafe());
            case simdjson::dom::element_type::UINT64:
                return static_cast<double>(value_.get_uint64().value_unsafe());
            case simdjson::dom::element_type::DOUBLE:
                return value_.get_double().value_unsafe();
            default:
                refuse();
        }
    }
    std::string_view string() const {
        std::string_view text;
        if (value_.get_string().get(text) != simdjson::SUCCESS) refuse();
        return text;
    }
    Uuid uuid() const {
        auto parsed = Uuid::parse(string());
        if (!parsed) refuse();
        return *parsed;
    }

    std::optional<std::int64_t> optionalInt64(std::string_view key) const {
        auto found = optional(key);
        if (!found) return std::nullopt;
        return found->int64();
    }
    std::optional<std::string> optionalString(std::string_view key) const {
        auto found = optional(key);
        if (!found) return std::nullopt;
        return std::string(found->string());
    }
    std::optional<Uuid> optionalUuid(std::string_view key) const {
        auto found = optional(key);
        if (!found) return std::nullopt;
        return found->uuid();
    }

    [[noreturn]] void fail(JsonErrorKind, const std::string&) const { refuse(); }
    [[noreturn]] void failTypeMismatch(std::string_view, const std::string&) const { refuse(); }

   private:
    [[noreturn]] static void refuse() { throw TroupeSimdjsonRefusal{}; }

    // The one member named `key`: refused when this is no object or names it twice.
    std::optional<simdjson::dom::element> member(std::string_view key) const {
        simdjson::dom::object object;
        if (value_.get_object().get(object) != simdjson::SUCCESS) refuse();
        std::optional<simdjson::dom::element> found;
        for (const simdjson::dom::key_value_pair field : object) {
            if (field.key != key) continue;
            if (found) refuse();
            found = field.value;
        }
        return found;
    }

    simdjson::dom::element value_;
};

}  // namespace tw
