#pragma once
// How well one colour reads on another: the contrast ratio of their relative
// luminances (1 to 21), with a translucent colour first laid over what is behind it.
#include <algorithm>
#include <cmath>

#include "platform/canvas.h"

namespace tw::testing {

// `top` over the opaque `bottom`.
inline Color over(Color top, Color bottom) {
    const auto mix = [&](double a, double b) { return a * top.alpha + b * (1 - top.alpha); };
    return Color::rgb(mix(top.red, bottom.red), mix(top.green, bottom.green), mix(top.blue, bottom.blue));
}

inline double relativeLuminance(Color c) {
    const auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

// `ink` as drawn on the opaque `background`.
inline double contrastRatio(Color ink, Color background) {
    const double a = relativeLuminance(over(ink, background));
    const double b = relativeLuminance(background);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

}  // namespace tw::testing
