#pragma once
// The properties of one usage event: a name-to-value map whose values are strings,
// integers, doubles, booleans or null, each encoding as the bare JSON value.
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "platform/json.h"
#include "platform/value_hash.h"

namespace tw {

// One property value: string, int, double, bool or null; encodes as the bare value.
class TelemetryValue {
   public:
    enum class Kind { string, int_, double_, bool_, null };

    TelemetryValue() : value_(nullptr) {}
    TelemetryValue(std::nullptr_t) : value_(nullptr) {}
    TelemetryValue(std::string text) : value_(std::move(text)) {}
    TelemetryValue(const char* text) : value_(std::string(text)) {}
    TelemetryValue(bool flag) : value_(flag) {}
    TelemetryValue(double number) : value_(number) {}
    template <std::integral I>
    requires(!std::same_as<I, bool>) TelemetryValue(I number) : value_(static_cast<std::int64_t>(number)) {}

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    const std::string* string() const { return std::get_if<std::string>(&value_); }
    std::optional<std::int64_t> integer() const;
    std::optional<double> number() const;
    std::optional<bool> boolean() const;
    bool isNull() const { return kind() == Kind::null; }

    // A NaN or infinite double throws JsonEncodeError (the event is then left out).
    OrderedJson toJson() const;

    friend bool operator==(const TelemetryValue&, const TelemetryValue&) = default;
    // Agrees with ==: the kind counts, and 0.0 and -0.0 hash alike.
    std::size_t hash() const noexcept;

   private:
    std::variant<std::string, std::int64_t, double, bool, std::nullptr_t> value_;
};

using TelemetryProperties = std::map<std::string, TelemetryValue>;

}  // namespace tw

template <>
struct std::hash<tw::TelemetryValue> {
    std::size_t operator()(const tw::TelemetryValue& value) const noexcept { return value.hash(); }
};
