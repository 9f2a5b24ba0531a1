#pragma once
// The diagnostics file: one pretty-printed JSON object with sorted keys that describes
// the running instance, written whole into <data dir>/diagnostics.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "Tumblewick/shell/configuration/configuration.h"
#include "platform/date.h"
#include "platform/defaults.h"

namespace tw {

// What the app knows of itself at the moment of the export.
struct DiagnosticsSnapshot {
    Date now;
    std::string systemVersion;
    std::string host;
    bool deterministicMode = false;
    std::int64_t deterministicSeed = 0;
    double uiScale = 1.0;
    double viewWidth = 0;  // 0 without a stage view
    double viewHeight = 0;
    std::filesystem::path dataDir;
};

// "tumbtw-diagnostics-20261206-132259.json": the time in UTC, whole seconds.
std::string diagnosticsFileName(Date now);

// The file's text: "env", "files", "generatedAt", "platform", "runtime", "settings",
// "version". Settings are shown as stored, null when missing; only variables set to a
// non-empty value appear under "env".
std::string diagnosticsJson(const DiagnosticsSnapshot& snapshot, const Defaults& defaults,
                            const EnvironmentReader& env);

// Creates <dataDir>/diagnostics and replaces the file in it atomically. Prints what
// happened; returns the file, or none on failure (then no file is left behind).
std::optional<std::filesystem::path> writeDiagnosticsFile(const DiagnosticsSnapshot& snapshot,
                                                          const Defaults& defaults,
                                                          const EnvironmentReader& env);

}  // namespace tw
