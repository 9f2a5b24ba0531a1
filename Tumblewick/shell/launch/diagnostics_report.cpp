#include "Tumblewick/shell/launch/diagnostics_report.h"

#include <cmath>
#include <ctime>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/json.h"
#include "platform/log.h"
#include "platform/settings_keys.h"

namespace tw {
namespace {

// The file name and "generatedAt" must name the same second.
Date wholeSecond(Date date) { return Date{std::floor(date.seconds)}; }

Json storedValue(const std::optional<DefaultsValue>& value) {
    if (!value) return nullptr;
    return std::visit(
        [](const auto& v) -> Json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Date>) {
                return iso8601String(v).value_or("");
            } else if constexpr (std::is_same_v<T, DefaultsData>) {
                return std::string("<").append(std::to_string(v.bytes.size())).append(" bytes>");
            } else if constexpr (std::is_same_v<T, double>) {
                return std::isfinite(v) ? Json(v) : Json(nullptr);
            } else {
                return v;
            }
        },
        *value);
}

}  // namespace

std::string diagnosticsFileName(Date now) {
    const std::time_t unix = static_cast<std::time_t>(wholeSecond(now).toUnix());
    std::tm utc{};
    gmtime_r(&unix, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    return std::string("tumbtw-diagnostics-") + stamp + ".json";
}

std::string diagnosticsJson(const DiagnosticsSnapshot& snapshot, const Defaults& defaults,
                            const EnvironmentReader& env) {
    Json environment = Json::object();
    for (const char* name : {UI_SCALE_ENV, DETERMINISTIC_MODE_ENV, TIMELINE_SEED_ENV}) {
        if (auto value = env(name); value && !value->empty()) environment[name] = *value;
    }
    const auto scale = [](double v) { return std::isfinite(v) ? Json(v) : Json(0.0); };
    Json document = {
        {"generatedAt", iso8601String(wholeSecond(snapshot.now)).value_or("")},
        {"version", APP_VERSION},
        {"platform",
         {{"systemVersion", snapshot.systemVersion},
          {"host", snapshot.host},
          {"arch", env("HOSTTYPE").value_or("unknown")}}},
        {"runtime",
         {{"deterministicMode", snapshot.deterministicMode},
          {"deterministicSeed", snapshot.deterministicSeed},
          {"uiScale", scale(snapshot.uiScale)},
          {"viewWidth", scale(snapshot.viewWidth)},
          {"viewHeight", scale(snapshot.viewHeight)}}},
        {"files", {{"dataDir", snapshot.dataDir.string()}}},
        {"settings", Json::object()},
        {"env", environment},
    };
    for (const char* key :
         {settings::uiScale.key, settings::deterministicMode.key, settings::deterministicSeed.key}) {
        document["settings"][key] = storedValue(defaults.object(key));
    }
    // Environment values and host names are not always UTF-8; the report is still written.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<std::filesystem::path> writeDiagnosticsFile(const DiagnosticsSnapshot& snapshot,
                                                          const Defaults& defaults,
                                                          const EnvironmentReader& env) {
    const std::filesystem::path directory = snapshot.dataDir / "diagnostics";
    std::error_code created;
    std::filesystem::create_directories(directory, created);
    if (created) {
        log::warning("Failed to create diagnostics directory: " + created.message());
        return std::nullopt;
    }
    const std::filesystem::path file = directory / diagnosticsFileName(snapshot.now);
    std::string error;
    if (!atomic_file::replace(file, diagnosticsJson(snapshot, defaults, env), false, error)) {
        log::warning("Failed to export diagnostics: " + error);
        return std::nullopt;
    }
    log::info("Diagnostics exported: " + file.string());
    return file;
}

}  // namespace tw
