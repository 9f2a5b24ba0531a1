#pragma once
// SplitMix64: the small seeded 64-bit generator behind the decision core's draws and
// the template line picks. Usable wherever a UniformRandomBitGenerator is wanted.
#include <cstdint>
#include <limits>

namespace tw {

struct SplitMix64 {
    using result_type = std::uint64_t;

    // A zero state would still work, but the generator has always mapped it here.
    static constexpr std::uint64_t zeroSeedState = 0xdeadbeefcafef00dULL;

    std::uint64_t state = zeroSeedState;

    SplitMix64() = default;
    explicit constexpr SplitMix64(std::uint64_t seed) : state(seed == 0 ? zeroSeedState : seed) {}

    constexpr std::uint64_t next() {
        state += 0x9e3779b97f4a7c15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    constexpr std::uint64_t operator()() { return next(); }
    static constexpr std::uint64_t min() { return 0; }
    static constexpr std::uint64_t max() { return std::numeric_limits<std::uint64_t>::max(); }

    friend bool operator==(const SplitMix64&, const SplitMix64&) = default;
};

}  // namespace tw
