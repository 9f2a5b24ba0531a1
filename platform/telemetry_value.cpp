#include "platform/telemetry_value.h"

namespace tw {

std::optional<std::int64_t> TelemetryValue::integer() const {
    if (auto* v = std::get_if<std::int64_t>(&value_)) return *v;
    return std::nullopt;
}

std::optional<double> TelemetryValue::number() const {
    if (auto* v = std::get_if<double>(&value_)) return *v;
    return std::nullopt;
}

std::optional<bool> TelemetryValue::boolean() const {
    if (auto* v = std::get_if<bool>(&value_)) return *v;
    return std::nullopt;
}

OrderedJson TelemetryValue::toJson() const {
    switch (kind()) {
        case Kind::string:
            return OrderedJson(std::get<std::string>(value_));
        case Kind::int_:
            return OrderedJson(std::get<std::int64_t>(value_));
        case Kind::double_:
            return finiteJson(std::get<double>(value_), "telemetry property");
        case Kind::bool_:
            return OrderedJson(std::get<bool>(value_));
        case Kind::null:
            break;
    }
    return OrderedJson(nullptr);
}

std::size_t TelemetryValue::hash() const noexcept {
    const std::uint64_t alternative = std::visit([](const auto& value) { return hashOf(value); }, value_);
    return hashFields(value_.index(), alternative);
}

}  // namespace tw
