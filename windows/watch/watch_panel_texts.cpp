#include "windows/watch/watch_panel_texts.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tw::watch {

KeyAction keyAction(std::uint16_t macKeyCode, bool command) {
    if (macKeyCode == escapeKey || macKeyCode == qKey) return KeyAction::leave;
    if (macKeyCode == wKey && command) return KeyAction::leave;
    return KeyAction::showHint;
}

double hintAlpha(double elapsed) {
    constexpr double hold = 3.0;
    constexpr double fade = 1.5;
    if (!(elapsed > hold)) return 1.0;
    return std::max(0.0, 1.0 - (elapsed - hold) / fade);
}

std::optional<Subtitle> subtitleAt(std::size_t count, double t) {
    const std::size_t start = count >= linesInRotation ? count - linesInRotation : 0;
    const std::size_t shown = count - start;
    if (shown == 0 || !std::isfinite(t)) return std::nullopt;
    // Whole slots since the reference date; far beyond any real clock the slot count
    // is clamped rather than overflowing.
    const double slots = std::min(std::fabs(std::trunc(t / secondsPerLine)), 9.0e15);
    const auto slot = static_cast<std::uint64_t>(slots);
    const double p = std::fmod(t, secondsPerLine);
    double alpha = 1.0;
    if (p < 0.6) {
        alpha = p / 0.6;
    } else if (p >= 5.2) {
        alpha = std::max(0.0, 1.0 - (p - 5.2) / 0.8);
    }
    return Subtitle{start + static_cast<std::size_t>(slot % shown), alpha};
}

Point drift(double t) { return {4 * std::sin(0.105 * t), 4 * std::sin(0.072 * t)}; }

std::vector<Sparkle> makeSparkles(std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(0.0, std::nextafter(1.0, 2.0));
    std::uniform_real_distribution<double> turn(0.0, std::nextafter(2 * std::numbers::pi, 7.0));
    std::vector<Sparkle> field(sparkleCount);
    for (auto& sparkle : field) {
        sparkle.x = unit(random);
        sparkle.y = unit(random);
        sparkle.phase = turn(random);
    }
    return field;
}

double sparkleAlpha(double t, double phase) { return 0.18 + 0.1 * (std::sin(0.6 * t + phase) + 1); }

double moodBarHeight(double value) { return MoodDimensions::clamp(value) * barHeight; }

double columnCentre(double centreX, std::size_t index) {
    const double gridWidth = columnWidth * static_cast<double>(residentsListed.size());
    return centreX - gridWidth / 2 + columnWidth * static_cast<double>(index) + columnWidth / 2;
}

std::string lastActionText(const std::vector<std::string>& recentActions) {
    return recentActions.empty() ? noAction : recentActions.back();
}

}  // namespace tw::watch
