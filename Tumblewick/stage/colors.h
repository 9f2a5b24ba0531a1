#pragma once
// The circus palette: every colour the stage draws with comes from here, with the
// desktop's system colours it borrows.
#include <array>

#include "platform/canvas.h"
#include "platform/system_colors.h"

namespace tw::Colors {

inline constexpr Color tentRed = Color::rgb(0.8, 0.13, 0.13);
inline constexpr Color tentStripe = Color::rgb(0.94, 0.91, 0.82);
inline constexpr Color gold = Color::rgb(1.0, 0.84, 0.0);
inline constexpr Color rope = Color::rgb(0.78, 0.66, 0.43);
inline constexpr Color ground = Color::rgb(0.36, 0.23, 0.12);
inline constexpr Color groundTop = Color::rgb(0.48, 0.31, 0.18);
inline constexpr Color flea = Color::rgb(0.18, 0.09, 0.06);
inline constexpr Color fleaLight = Color::rgb(0.29, 0.19, 0.13);
inline constexpr Color eyeWhite = Color::white(1.0);
inline constexpr Color pupil = Color::white(0.0);
inline constexpr Color blush = Color::rgb(0.91, 0.53, 0.53);
inline constexpr Color cannon = Color::rgb(0.29, 0.29, 0.29);
inline constexpr Color cannonDark = Color::rgb(0.2, 0.2, 0.2);
inline constexpr Color wheel = Color::rgb(0.55, 0.45, 0.33);
inline constexpr Color brass = Color::rgb(0.71, 0.65, 0.26);
inline constexpr Color brassDark = Color::rgb(0.6, 0.52, 0.18);
inline constexpr Color platform = Color::rgb(0.42, 0.26, 0.15);
inline constexpr Color bannerBg = Color::rgb(0.54, 0.0, 0.0);
inline constexpr Color bannerFg = Color::rgb(1.0, 0.84, 0.0);
inline constexpr Color glow = Color::rgb(1.0, 0.89, 0.48);
inline constexpr Color clickRing = Color::rgb(1.0, 0.67, 0.0);

// Pennants along the tent; also the colours of confetti and click bursts.
inline constexpr std::array<Color, 5> bunting = {
    Color::rgb(0.9, 0.22, 0.27),  Color::rgb(0.27, 0.48, 0.62), Color::rgb(0.96, 0.64, 0.38),
    Color::rgb(0.16, 0.62, 0.56), Color::rgb(0.91, 0.77, 0.42),
};

}  // namespace tw::Colors
