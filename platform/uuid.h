#pragma once
// 128-bit identifiers: random v4 from libuuid, written upper case, read in either case.
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    // Only the 36-character hyphenated form (8-4-4-4-12 hex digits), any case.
    static std::optional<Uuid> parse(std::string_view text);
    std::string uuidString() const;  // upper case, hyphenated

    friend auto operator<=>(const Uuid&, const Uuid&) = default;
    friend bool operator==(const Uuid&, const Uuid&) = default;
};

}  // namespace tw

template <>
struct std::hash<tw::Uuid> {
    std::size_t operator()(const tw::Uuid& id) const noexcept;
};
