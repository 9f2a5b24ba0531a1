#include "platform/string_hash.h"

#include <bit>
#include <cstring>
#include <random>

namespace tw {

namespace {

struct SipKey {
    std::uint64_t k0;
    std::uint64_t k1;
};

// Drawn once per process, on first use; static initialisation is thread-safe.
const SipKey& processKey() {
    static const SipKey key = [] {
        std::random_device device;
        auto draw = [&device] {
            return static_cast<std::uint64_t>(device()) << 32 | static_cast<std::uint64_t>(device());
        };
        SipKey drawn{draw(), draw()};
        return drawn;
    }();
    return key;
}

inline void sipRound(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
}

std::uint64_t readLittleEndian(const unsigned char* p, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    return value;
}

// SipHash-1-3: keyed, so hash-flooding input cannot be crafted without the salt.
std::uint64_t sipHash13(const SipKey& key, std::string_view text) {
    std::uint64_t v0 = 0x736f6d6570736575ULL ^ key.k0;
    std::uint64_t v1 = 0x646f72616e646f6dULL ^ key.k1;
    std::uint64_t v2 = 0x6c7967656e657261ULL ^ key.k0;
    std::uint64_t v3 = 0x7465646279746573ULL ^ key.k1;

    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    const std::size_t whole = size - size % 8;
    for (std::size_t i = 0; i < whole; i += 8) {
        const std::uint64_t m = readLittleEndian(data + i, 8);
        v3 ^= m;
        sipRound(v0, v1, v2, v3);
        v0 ^= m;
    }
    const std::uint64_t last =
        static_cast<std::uint64_t>(size) << 56 | readLittleEndian(data + whole, size - whole);
    v3 ^= last;
    sipRound(v0, v1, v2, v3);
    v0 ^= last;

    v2 ^= 0xFF;
    sipRound(v0, v1, v2, v3);
    sipRound(v0, v1, v2, v3);
    sipRound(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace

std::int64_t processSaltedStringHash(std::string_view text) {
    return std::bit_cast<std::int64_t>(sipHash13(processKey(), text));
}

StringHashFunction processStringHashFunction() {
    return [](std::string_view text) { return processSaltedStringHash(text); };
}

std::uint64_t djb2Hash(std::string_view text) {
    std::uint64_t hash = 5381;
    for (char c : text) hash = hash * 33 + static_cast<unsigned char>(c);
    return hash;
}

}  // namespace tw
