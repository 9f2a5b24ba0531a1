#pragma once
// Names a cached picture by the values it is drawn from: equal values, equal key.
#include <cstdint>
#include <functional>
#include <initializer_list>

namespace tw {

inline std::uint64_t pictureKey(std::uint64_t kind, std::initializer_list<double> values) {
    std::uint64_t key = kind * 0x9E3779B97F4A7C15ULL;
    for (const double v : values)
        key = (key ^ std::hash<double>{}(v)) * 0x100000001B3ULL + 0x9E3779B97F4A7C15ULL;
    return key;
}

}  // namespace tw
