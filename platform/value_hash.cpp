#include "platform/value_hash.h"

namespace tw {

std::uint64_t spreadHash(std::uint64_t x) noexcept {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return x;
}

std::uint64_t combineHash(std::uint64_t state, std::uint64_t value) noexcept {
    return spreadHash(state ^ (value + 0x9e3779b97f4a7c15ULL + (state << 6) + (state >> 2)));
}

}  // namespace tw
