#pragma once
// What the watch view shows, as plain numbers and texts: its keys, the hint's fade,
// which recent line is on screen and how strongly, the drift, the sparkles' breath,
// the mood bars and the mood grid's columns. The widget and the drawing only use them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "agent/agent_records.h"
#include "agent/resident_roster.h"
#include "platform/canvas.h"

namespace tw::watch {

inline constexpr const char* title = "Watch the Troupe";
inline constexpr const char* tagLine = "Tumblewick agent loop \u00B7 live";
inline constexpr const char* hint = "Press ESC to leave";
inline constexpr const char* quietLine = "The troupe is quiet \u2014 open Tumblewick and wind to wake them.";
inline constexpr const char* noAction = "\u2014";
inline constexpr const char* attendedMark = "\u2728";

// One column for each resident, in the roster's listed order; custom fleas have none.
inline constexpr double columnWidth = 110;

inline constexpr double framesPerSecond = 30;
inline constexpr double secondsPerLine = 6;
inline constexpr std::size_t linesInRotation = 20;
inline constexpr double barHeight = 36;
inline constexpr int sparkleCount = 28;

// macOS virtual key codes, read by key position.
inline constexpr std::uint16_t escapeKey = 53;
inline constexpr std::uint16_t qKey = 12;
inline constexpr std::uint16_t wKey = 13;

enum class KeyAction { leave, showHint };
// Escape or Q with any modifiers, or Command-W, leave; any other key brings the hint back.
KeyAction keyAction(std::uint16_t macKeyCode, bool command);

// The hint's strength `elapsed` seconds after it was brought back: held for 3 s, then
// gone over 1.5 s.
double hintAlpha(double elapsed);

struct Subtitle {
    std::size_t index = 0;  // into the whole feed
    double alpha = 0;       // the fade within its 6-second slot
    friend bool operator==(const Subtitle&, const Subtitle&) = default;
};
// The feed entry on screen at `t` (seconds since 2001) among `count` entries, oldest
// first: a new one every 6 s through the newest 20, wrapping round. None when empty.
std::optional<Subtitle> subtitleAt(std::size_t count, double t);

// The slow drift of the title, grid and subtitle, in points (y upward).
Point drift(double t);

struct Sparkle {
    double x = 0;  // 0...1 of the width
    double y = 0;  // 0...1 of the height, from the bottom
    double phase = 0;
};
// The field of one run of the process.
std::vector<Sparkle> makeSparkles(std::mt19937_64& random);
double sparkleAlpha(double t, double phase);

// A mood value as a bar height: 0 below 0 (or not a number), full at 1 and above.
double moodBarHeight(double value);

// The centre of column `index` in a grid centred on `centreX`.
double columnCentre(double centreX, std::size_t index);
// The last action a flea took, raw, or an em dash when it has none.
std::string lastActionText(const std::vector<std::string>& recentActions);

}  // namespace tw::watch
