#pragma once
// Run-time settings of the app: constants and the resolvers that pick each setting
// from the environment, then the standard user defaults (platform/settings_keys.h),
// then the built-in value. Every resolver reads its sources afresh and caches
// nothing; an unreadable value falls through to the next source.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "Tumblewick/shell/configuration/app_version.h"
#include "platform/defaults.h"

namespace tw {

inline constexpr std::int64_t DEFAULT_TARGET_FPS = 60;

inline constexpr const char* UI_SCALE_ENV = "TUMBLEWICK_UI_SCALE";
inline constexpr const char* TARGET_FPS_ENV = "TUMBLEWICK_TARGET_FPS";
inline constexpr const char* DETERMINISTIC_MODE_ENV = "TUMBLEWICK_DETERMINISTIC_MODE";
inline constexpr const char* TIMELINE_SEED_ENV = "TUMBLEWICK_TIMELINE_SEED";

// One environment variable's value, absent when it is not set.
using EnvironmentReader = std::function<std::optional<std::string>(const std::string& name)>;
// The process environment (getenv).
EnvironmentReader processEnvironment();

// "1", "true", "yes", "on" / "0", "false", "no", "off", trimmed and in any case;
// anything else or an unset variable gives nothing.
std::optional<bool> envBool(const std::string& name, const EnvironmentReader& env = processEnvironment());
// max(min(value, upper), lower): a lower bound above the upper one wins.
std::int64_t clampedInt(std::int64_t value, std::int64_t min, std::int64_t max);

// `screenBackingScale` is the screen's device pixel ratio, absent without a screen.
// Explicit values are clamped to 1.0...1.8; the automatic one grows a quarter per extra
// pixel ratio, within 1.0...1.4.
double resolvedUIScale(std::optional<double> screenBackingScale, const Defaults& defaults,
                       const EnvironmentReader& env = processEnvironment());
// 24...120, 60 unless the environment says otherwise.
std::int64_t resolvedTargetFPS(const EnvironmentReader& env = processEnvironment());
bool resolvedDeterministicMode(const Defaults& defaults, const EnvironmentReader& env = processEnvironment());
std::int64_t resolvedDeterministicSeed(const Defaults& defaults,
                                       const EnvironmentReader& env = processEnvironment());

// A decimal integer with an optional sign, digits only, within int64.
std::optional<std::int64_t> parseDecimalInteger(std::string_view text);
// The same with white space and line breaks around it ignored.
std::optional<std::int64_t> parseTrimmedInteger(std::string_view text);
// The update check at start is on unless a Boolean false is stored.
bool updateCheckEnabled(const Defaults& defaults);

// Menu-bar mode: the strip hides and the tray item is the way in. Absent reads as off.
bool resolvedMenuBarModeEnabled(const Defaults& defaults);

// ~/.tumblewick; not created here.
std::filesystem::path getTumblewickDataDir();

}  // namespace tw
