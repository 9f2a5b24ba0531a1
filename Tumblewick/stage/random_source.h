#pragma once
// Where the acts and effects get their randomness. The stage uses an unseeded
// generator; tests hand in a seeded one so frames repeat.
#include <cmath>
#include <cstdint>
#include <random>

namespace tw {

class RandomSource {
   public:
    virtual ~RandomSource() = default;
    // Uniform over the closed range [lo, hi].
    virtual double uniform(double lo, double hi) = 0;
    // Uniform over the closed range [lo, hi]; lo when hi < lo.
    virtual std::int64_t uniformInt(std::int64_t lo, std::int64_t hi) = 0;
};

class SeededRandomSource final : public RandomSource {
   public:
    explicit SeededRandomSource(std::uint64_t seed) : engine_(seed) {}
    double uniform(double lo, double hi) override;
    std::int64_t uniformInt(std::int64_t lo, std::int64_t hi) override;

   private:
    std::mt19937_64 engine_;
};

// The process's unseeded generator (main thread only, like everything on the stage).
RandomSource& systemRandomSource();

}  // namespace tw
