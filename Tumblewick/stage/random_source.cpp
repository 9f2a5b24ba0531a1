#include "Tumblewick/stage/random_source.h"

namespace tw {

double SeededRandomSource::uniform(double lo, double hi) {
    if (!(hi > lo)) return lo;
    // Closed range: the upper end is reachable through nextafter.
    std::uniform_real_distribution<double> dist(lo, std::nextafter(hi, hi + 1.0));
    const double v = dist(engine_);
    return v > hi ? hi : v;
}

std::int64_t SeededRandomSource::uniformInt(std::int64_t lo, std::int64_t hi) {
    if (hi <= lo) return lo;
    std::uniform_int_distribution<std::int64_t> dist(lo, hi);
    return dist(engine_);
}

RandomSource& systemRandomSource() {
    static SeededRandomSource source{std::random_device{}()};
    return source;
}

}  // namespace tw
