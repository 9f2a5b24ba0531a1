#pragma once
// Hashes of value records that agree with their ==: each field is fed, in order, into
// one 64-bit state. Zero of either sign hashes alike (they compare equal), and an
// absent optional differs from a present one. Not stable between builds; nothing
// stores it.
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tw {

// Spreads the bits of a word over the whole word.
std::uint64_t spreadHash(std::uint64_t value) noexcept;
// The state after feeding `value` into `state`; the order of feeding matters.
std::uint64_t combineHash(std::uint64_t state, std::uint64_t value) noexcept;

inline constexpr std::uint64_t kHashSeed = 0x243f6a8885a308d3ULL;

template <typename T>
std::uint64_t hashOf(const T& value) noexcept;

namespace value_hash_detail {
template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {};
}  // namespace value_hash_detail

template <typename T>
std::uint64_t hashOf(const T& value) noexcept {
    if constexpr (std::is_floating_point_v<T>) {
        const double folded = value == 0 ? 0.0 : static_cast<double>(value);  // -0 as +0
        return spreadHash(std::bit_cast<std::uint64_t>(folded));
    } else if constexpr (std::is_null_pointer_v<T>) {
        return 0;
    } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
        return spreadHash(static_cast<std::uint64_t>(value));
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return std::hash<std::string_view>{}(std::string_view(value));
    } else if constexpr (value_hash_detail::IsOptional<T>::value) {
        return value ? combineHash(1, hashOf(*value)) : 0;
    } else if constexpr (value_hash_detail::IsVector<T>::value) {
        std::uint64_t state = combineHash(kHashSeed, value.size());
        for (const auto& element : value) state = combineHash(state, hashOf(element));
        return state;
    } else {
        return std::hash<T>{}(value);
    }
}

// The hash of a record from its fields, in the order its == compares them.
template <typename... Fields>
std::size_t hashFields(const Fields&... fields) noexcept {
    std::uint64_t state = kHashSeed;
    ((state = combineHash(state, hashOf(fields))), ...);
    return static_cast<std::size_t>(state);
}

}  // namespace tw

// Declares std::hash for a record whose operator() is defined beside the record.
#define TW_DECLARE_STD_HASH(Type)                                 \
    template <>                                                   \
    struct std::hash<Type> {                                      \
        std::size_t operator()(const Type& value) const noexcept; \
    }
