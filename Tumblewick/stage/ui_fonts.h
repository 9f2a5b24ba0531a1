#pragma once
// The stage's two typefaces: grown by the UI scale, never shrunk by it.
#include <algorithm>

#include "platform/canvas.h"

namespace tw::UIFonts {

inline Font mono(double size, double scale = 1.0, FontWeight weight = FontWeight::bold) {
    return Font{FontFamily::monospaced, std::max(size * scale, size), weight};
}

inline Font system(double size, double scale = 1.0, FontWeight weight = FontWeight::bold) {
    return Font{FontFamily::system, std::max(size * scale, size), weight};
}

}  // namespace tw::UIFonts
