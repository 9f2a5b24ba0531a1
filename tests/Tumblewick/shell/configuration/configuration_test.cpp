#include "Tumblewick/shell/configuration/configuration.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

EnvironmentReader fakeEnvironment(std::map<std::string, std::string> values) {
    return [values = std::move(values)](const std::string& name) -> std::optional<std::string> {
        const auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    };
}

TEST(ConfigurationTest, UIScaleTakesEnvironmentThenDefaultsThenTheScreen) {
    struct Case {
        std::optional<std::string> env;
        std::optional<double> stored;
        std::optional<double> screen;
        double expected;
    };
    const Case cases[] = {
        {"2", std::nullopt, 1.0, 1.8},
        {"0.5", std::nullopt, 1.0, 1.0},
        {"1.3", 1.1, 2.0, 1.3},
        {"+1.2", std::nullopt, std::nullopt, 1.2},
        {"-1", 1.1, 1.0, 1.1},
        {"big", 1.1, 1.0, 1.1},
        {" 1.2", 1.1, 1.0, 1.1},
        {"1.2x", std::nullopt, 2.0, 1.25},
        {"0", std::nullopt, 3.0, 1.4},
        {std::nullopt, 0.0, 2.0, 1.25},
        {std::nullopt, 5.0, 1.0, 1.8},
        {std::nullopt, std::nullopt, 1.0, 1.0},
        {std::nullopt, std::nullopt, std::nullopt, 1.0},
    };
    for (const auto& c : cases) {
        testing::InMemoryDefaults defaults;
        if (c.stored) defaults.setDouble(settings::uiScale.key, *c.stored);
        std::map<std::string, std::string> env;
        if (c.env) env[UI_SCALE_ENV] = *c.env;
        EXPECT_DOUBLE_EQ(resolvedUIScale(c.screen, defaults, fakeEnvironment(env)), c.expected)
            << "env " << c.env.value_or("<unset>") << " stored " << c.stored.value_or(-1);
    }
}

TEST(ConfigurationTest, IntegerSettingsParseTrimmedSignedDecimalsAndFallThroughOtherwise) {
    struct Case {
        std::optional<std::string> env;
        std::int64_t fps;
        std::int64_t seedWithStored;  // the defaults hold 77
        std::int64_t seedWithout;
    };
    const Case cases[] = {
        {" 240 \n", 120, 240, 240},
        {"10", 24, 10, 10},
        {"+30", 30, 30, 30},
        {"-7", 24, -7, -7},
        {"0", 24, 0, 0},
        {"30fps", 60, 77, 424242},
        {"", 60, 77, 424242},
        {"99999999999999999999", 60, 77, 424242},
        {std::nullopt, 60, 77, 424242},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> env;
        if (c.env) {
            env[TARGET_FPS_ENV] = *c.env;
            env[TIMELINE_SEED_ENV] = *c.env;
        }
        testing::InMemoryDefaults stored;
        stored.setInteger(settings::deterministicSeed.key, 77);
        testing::InMemoryDefaults empty;
        const auto label = c.env.value_or("<unset>");
        EXPECT_EQ(resolvedTargetFPS(fakeEnvironment(env)), c.fps) << label;
        EXPECT_EQ(resolvedDeterministicSeed(stored, fakeEnvironment(env)), c.seedWithStored) << label;
        EXPECT_EQ(resolvedDeterministicSeed(empty, fakeEnvironment(env)), c.seedWithout) << label;
    }
}

TEST(ConfigurationTest, TruthWordsAndDeterministicModePrecedence) {
    struct Case {
        std::optional<std::string> env;
        std::optional<bool> word;
        bool modeWhenStoredTrue;
    };
    const Case cases[] = {
        {" YES\n", true, true},        {"on", true, true},       {"1", true, true},
        {"Off", false, false},         {"no", false, false},     {"0", false, false},
        {"maybe", std::nullopt, true}, {"", std::nullopt, true}, {std::nullopt, std::nullopt, true},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> env;
        if (c.env) env[DETERMINISTIC_MODE_ENV] = *c.env;
        testing::InMemoryDefaults defaults;
        defaults.setBool(settings::deterministicMode.key, true);
        EXPECT_EQ(envBool(DETERMINISTIC_MODE_ENV, fakeEnvironment(env)), c.word) << c.env.value_or("<unset>");
        EXPECT_EQ(resolvedDeterministicMode(defaults, fakeEnvironment(env)), c.modeWhenStoredTrue);
    }
    testing::InMemoryDefaults none;
    EXPECT_FALSE(resolvedDeterministicMode(none, fakeEnvironment({})));
    EXPECT_EQ(clampedInt(5, 10, 3), 10);
    EXPECT_EQ(clampedInt(50, 24, 120), 50);
}

}  // namespace
}  // namespace tw
