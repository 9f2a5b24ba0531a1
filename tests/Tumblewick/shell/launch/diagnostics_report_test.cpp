// The diagnostics file: where it goes, its keys and values, and a failed export.
#include "Tumblewick/shell/launch/diagnostics_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <map>

#include "platform/json.h"
#include "platform/log.h"
#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

struct ScratchDir {
    fs::path path = fs::temp_directory_path() / ("tw-diagnostics-" + std::to_string(::getpid()));
    ScratchDir() { fs::remove_all(path); }
    ~ScratchDir() { fs::remove_all(path); }
};

EnvironmentReader environment(std::map<std::string, std::string> values) {
    return [values](const std::string& name) -> std::optional<std::string> {
        if (auto it = values.find(name); it != values.end()) return it->second;
        return std::nullopt;
    };
}

// 2026-12-06T13:22:59.7Z
const Date exportTime = Date::fromUnix(1796563379.7);

TEST(DiagnosticsReport, WritesTheInstanceSettingsAndSetVariablesUnderSortedKeys) {
    ScratchDir home;
    const fs::path dataDir = home.path / ".tumblewick";
    const DiagnosticsSnapshot snapshot{
        exportTime, "Debian GNU/Linux 13", "bench", false, 424242, 1.25, 1512, 187.5, dataDir};
    struct Case {
        std::map<std::string, std::string> env;
        bool storedSettings;
        Json expectedEnv, expectedSettings;
    };
    const Json noSettings = {{"TumblewickDeterministicMode", nullptr},
                             {"TumblewickDeterministicSeed", nullptr},
                             {"TumblewickUIScale", nullptr}};
    const Case cases[] = {
        {{}, false, Json::object(), noSettings},
        {{{"TUMBLEWICK_UI_SCALE", "1.2"},
          {"TUMBLEWICK_DETERMINISTIC_MODE", ""},
          {"TUMBLEWICK_TIMELINE_SEED", " 7"},
          {"HOSTTYPE", "x86_64"}},
         true,
         {{"TUMBLEWICK_TIMELINE_SEED", " 7"}, {"TUMBLEWICK_UI_SCALE", "1.2"}},
         {{"TumblewickDeterministicMode", true},
          {"TumblewickDeterministicSeed", 17},
          {"TumblewickUIScale", 1.1}}},
    };
    for (const Case& c : cases) {
        testing::InMemoryDefaults defaults;
        if (c.storedSettings) {
            defaults.setDouble(settings::uiScale.key, 1.1);
            defaults.setBool(settings::deterministicMode.key, true);
            defaults.setInteger(settings::deterministicSeed.key, 17);
        }
        const auto file = writeDiagnosticsFile(snapshot, defaults, environment(c.env));
        ASSERT_TRUE(file);
        EXPECT_EQ(*file, dataDir / "diagnostics" / "tumbtw-diagnostics-20261206-132259.json");
        std::ifstream in(*file);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Json written = Json::parse(text);
        const Json expected = {
            {"env", c.expectedEnv},
            {"files", {{"dataDir", dataDir.string()}}},
            {"generatedAt", "2026-12-06T13:22:59Z"},
            {"platform",
             {{"arch", c.env.contains("HOSTTYPE") ? "x86_64" : "unknown"},
              {"host", "bench"},
              {"systemVersion", "Debian GNU/Linux 13"}}},
            {"runtime",
             {{"deterministicMode", false},
              {"deterministicSeed", 424242},
              {"uiScale", 1.25},
              {"viewHeight", 187.5},
              {"viewWidth", 1512.0}}},
            {"settings", c.expectedSettings},
            {"version", "1.4.0"},
        };
        EXPECT_EQ(written, expected) << text;
        // Pretty-printed with the keys in order at the top level.
        EXPECT_LT(text.find("\n  \"env\""), text.find("\n  \"files\""));
        EXPECT_LT(text.find("\n  \"settings\""), text.find("\n  \"version\""));
    }
}

TEST(DiagnosticsReport, ADataDirectoryThatIsAFileFailsWithoutWritingAnything) {
    ScratchDir home;
    fs::create_directories(home.path);
    const fs::path dataDir = home.path / ".tumblewick";
    std::ofstream(dataDir) << "not a folder";
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    testing::InMemoryDefaults defaults;
    const auto file =
        writeDiagnosticsFile({exportTime, "", "", false, 0, 1.0, 0, 0, dataDir}, defaults, environment({}));
    log::setSinkForTesting(nullptr);
    EXPECT_FALSE(file);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("⚠️ Failed to create diagnostics directory: ")) << lines[0];
    EXPECT_EQ(std::distance(fs::directory_iterator(home.path), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tw
