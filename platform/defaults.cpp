// The typed read rules shared by every Defaults suite.
#include "platform/defaults.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

namespace tw {

namespace {

std::string_view trimAscii(std::string_view text) {
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Whole-text parses; a leading '+' is accepted as people write it.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    text = trimAscii(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    text = trimAscii(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Truncates toward zero; values beyond int64 saturate instead of being undefined.
std::int64_t truncateToInteger(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::string shortestText(double value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc{}) return {};
    return std::string(buffer, end);
}

}  // namespace

// Booleans count as the numbers 1 and 0, as they did where these rules come from.
bool Defaults::boolForKey(const std::string& key) const {
    auto value = object(key);
    if (!value) return false;
    return std::visit(
        [](const auto& v) -> bool {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return v != 0;
            } else if constexpr (std::is_same_v<T, double>) {
                return v != 0 && !std::isnan(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                const std::string lowered = lowerAscii(trimAscii(v));
                if (lowered == "yes" || lowered == "true") return true;
                auto number = parseInteger(lowered);
                return number && *number != 0;
            } else {
                return false;
            }
        },
        *value);
}

std::int64_t Defaults::integerForKey(const std::string& key) const {
    auto value = object(key);
    if (!value) return 0;
    return std::visit(
        [](const auto& v) -> std::int64_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? 1 : 0;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return v;
            } else if constexpr (std::is_same_v<T, double>) {
                return truncateToInteger(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                if (auto integer = parseInteger(v)) return *integer;
                if (auto number = parseDouble(v)) return truncateToInteger(*number);
                return 0;
            } else {
                return 0;
            }
        },
        *value);
}

double Defaults::doubleForKey(const std::string& key) const {
    auto value = object(key);
    if (!value) return 0;
    return std::visit(
        [](const auto& v) -> double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? 1.0 : 0.0;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return static_cast<double>(v);
            } else if constexpr (std::is_same_v<T, double>) {
                return v;
            } else if constexpr (std::is_same_v<T, std::string>) {
                return parseDouble(v).value_or(0.0);
            } else {
                return 0.0;
            }
        },
        *value);
}

std::optional<std::string> Defaults::stringForKey(const std::string& key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    return std::visit(
        [](const auto& v) -> std::optional<std::string> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return std::string(v ? "1" : "0");
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return std::to_string(v);
            } else if constexpr (std::is_same_v<T, double>) {
                return shortestText(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else {
                return std::nullopt;
            }
        },
        *value);
}

std::optional<DefaultsData> Defaults::dataForKey(const std::string& key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    if (const auto* data = std::get_if<DefaultsData>(&*value)) return *data;
    return std::nullopt;
}

std::optional<Date> Defaults::dateForKey(const std::string& key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    if (const auto* date = std::get_if<Date>(&*value)) return *date;
    return std::nullopt;
}

void Defaults::setData(const std::string& key, std::string bytes) {
    set(key, DefaultsValue{DefaultsData{std::vector<std::uint8_t>(bytes.begin(), bytes.end())}});
}

std::optional<std::string> Defaults::dataStringForKey(const std::string& key) const {
    auto data = dataForKey(key);
    if (!data) return std::nullopt;
    return std::string(data->bytes.begin(), data->bytes.end());
}

}  // namespace tw
