#pragma once
// String-backed enumerations: every enum used on the wire specialises RawEnumCases
// with its cases in declaration order and their raw strings. The raw string is what
// JSON holds; parsing is exact (no case folding, no '-' for '_').
#include <array>
#include <concepts>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace tw {

template <typename E>
struct RawEnumCases;  // static constexpr std::array<std::pair<E, std::string_view>, N> table

template <typename E>
concept RawEnum = std::is_enum_v<E> && requires {
    RawEnumCases<E>::table;
};

template <RawEnum E>
constexpr std::string_view rawValue(E value) {
    for (const auto& [c, raw] : RawEnumCases<E>::table)
        if (c == value) return raw;
    return {};
}

template <RawEnum E>
constexpr std::optional<E> fromRawValue(std::string_view raw) {
    for (const auto& [c, text] : RawEnumCases<E>::table)
        if (text == raw) return c;
    return std::nullopt;
}

// Whether allCases<E>() is offered; an enum opts out by specialising this to false.
template <typename E>
inline constexpr bool offersAllCases = true;

// Every case, in declaration order.
template <RawEnum E>
requires offersAllCases<E>
constexpr auto allCases() {
    constexpr auto& table = RawEnumCases<E>::table;
    std::array<E, table.size()> cases{};
    for (std::size_t i = 0; i < table.size(); ++i) cases[i] = table[i].first;
    return cases;
}

}  // namespace tw
