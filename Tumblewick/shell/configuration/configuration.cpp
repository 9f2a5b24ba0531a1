#include "Tumblewick/shell/configuration/configuration.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "platform/paths.h"
#include "platform/settings_keys.h"

namespace tw {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The whole text as a decimal number, untrimmed.
std::optional<double> parseDouble(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

double clampedScale(double value) { return std::clamp(value, 1.0, 1.8); }

}  // namespace

EnvironmentReader processEnvironment() {
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    };
}

std::optional<bool> envBool(const std::string& name, const EnvironmentReader& env) {
    const auto raw = env(name);
    if (!raw) return std::nullopt;
    std::string word(trim(*raw));
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (word == "1" || word == "true" || word == "yes" || word == "on") return true;
    if (word == "0" || word == "false" || word == "no" || word == "off") return false;
    return std::nullopt;
}

std::int64_t clampedInt(std::int64_t value, std::int64_t min, std::int64_t max) {
    return std::max(std::min(value, max), min);
}

double resolvedUIScale(std::optional<double> screenBackingScale, const Defaults& defaults,
                       const EnvironmentReader& env) {
    if (const auto raw = env(UI_SCALE_ENV)) {
        if (const auto value = parseDouble(*raw); value && *value > 0) return clampedScale(*value);
    }
    if (const double stored = defaults.doubleForKey(settings::uiScale.key); stored > 0)
        return clampedScale(stored);
    if (!screenBackingScale || !std::isfinite(*screenBackingScale)) return 1.0;
    const double automatic = 1 + std::max(0.0, *screenBackingScale - 1) * 0.25;
    return std::max(std::min(automatic, 1.4), 1.0);
}

std::int64_t resolvedTargetFPS(const EnvironmentReader& env) {
    if (const auto raw = env(TARGET_FPS_ENV)) {
        if (const auto value = parseTrimmedInteger(*raw)) return clampedInt(*value, 24, 120);
    }
    return DEFAULT_TARGET_FPS;
}

bool resolvedDeterministicMode(const Defaults& defaults, const EnvironmentReader& env) {
    if (const auto fromEnvironment = envBool(DETERMINISTIC_MODE_ENV, env)) return *fromEnvironment;
    return defaults.boolForKey(settings::deterministicMode.key);
}

std::int64_t resolvedDeterministicSeed(const Defaults& defaults, const EnvironmentReader& env) {
    if (const auto raw = env(TIMELINE_SEED_ENV)) {
        if (const auto value = parseTrimmedInteger(*raw)) return *value;
    }
    if (defaults.hasKey(settings::deterministicSeed.key))
        return defaults.integerForKey(settings::deterministicSeed.key);
    return settings::deterministicSeed.fallback;
}

std::optional<std::int64_t> parseDecimalInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseTrimmedInteger(std::string_view text) {
    return parseDecimalInteger(trim(text));
}

bool updateCheckEnabled(const Defaults& defaults) {
    const auto stored = defaults.object(settings::checkForUpdates.key);
    return !(stored && std::holds_alternative<bool>(*stored) && !std::get<bool>(*stored));
}

bool resolvedMenuBarModeEnabled(const Defaults& defaults) {
    return defaults.boolForKey(settings::menuBarMode.key);
}

std::filesystem::path getTumblewickDataDir() { return paths::hiddenDirectory(); }

}  // namespace tw
