#include "platform/uuid.h"

#include <uuid/uuid.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/value_hash.h"

namespace tw {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// A table, not comparisons: ids are random digits, so range tests mispredict half
// the time, and the troupe log reads a few ids per line.
constexpr std::array<std::int8_t, 256> kHexValues = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
    return table;
}();

int hexValue(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

constexpr bool isHyphenPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

Uuid Uuid::random() {
    uuid_t raw;
    uuid_generate_random(raw);
    Uuid id;
    std::memcpy(id.bytes.data(), raw, id.bytes.size());
    return id;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Uuid id;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0 || isHyphenPosition(i + 1)) return std::nullopt;
        id.bytes[byte++] = static_cast<std::uint8_t>(high << 4 | low);
        i += 2;
    }
    return id;
}

std::string Uuid::uuidString() const {
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kHexDigits[bytes[i] >> 4];
        out += kHexDigits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace tw

std::size_t std::hash<tw::Uuid>::operator()(const tw::Uuid& id) const noexcept {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, id.bytes.data(), 8);
    std::memcpy(&low, id.bytes.data() + 8, 8);
    // Random UUIDs are already uniform; the mix keeps hand-made ones spread too.
    return static_cast<std::size_t>(tw::combineHash(high, low));
}
