#pragma once

namespace tw {

// 0..1 with NaN and negatives at 0: the clamp every narrative score uses.
inline double clampUnit(double value) {
    if (!(value >= 0.0)) return 0.0;
    return value > 1.0 ? 1.0 : value;
}

}  // namespace tw
