#pragma once
// The desktop's named system colours (sRGB), for the stage and the windows alike.
#include "platform/canvas.h"

namespace tw::Colors {

inline constexpr Color systemWhite = Color::white(1.0);
inline constexpr Color systemBlack = Color::white(0.0);
inline constexpr Color systemOrange = Color::rgb(1.0, 0.5, 0.0);
inline constexpr Color systemGray = Color::white(0.5);
inline constexpr Color systemDarkGray = Color::white(1.0 / 3.0);
inline constexpr Color systemYellow = Color::rgb(1.0, 1.0, 0.0);
inline constexpr Color systemPink = Color::rgb(1.0, 0.18, 0.33);

}  // namespace tw::Colors
