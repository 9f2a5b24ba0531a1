// What the settings panel opens with, what Save stores and when it relaunches the app.
#include "Tumblewick/shell/launch/settings_panel_model.h"

#include <gtest/gtest.h>

#include "Tumblewick/shell/configuration/configuration.h"
#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

TEST(SettingsPanelModel, OpensWithTheStoredScaleTheTimelineAndTheUpdateSwitch) {
    struct Case {
        std::optional<DefaultsValue> storedScale, storedUpdateCheck;
        std::optional<int> selection;
        bool checkForUpdates;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, 0, true},
        {DefaultsValue{1.1}, DefaultsValue{false}, 2, false},
        // A scale no choice is near leaves the pop-up on its first item.
        {DefaultsValue{1.6}, DefaultsValue{std::string("no")}, std::nullopt, true},
    };
    for (const Case& c : cases) {
        testing::InMemoryDefaults defaults;
        if (c.storedScale) defaults.set(settings::uiScale.key, *c.storedScale);
        if (c.storedUpdateCheck) defaults.set(settings::checkForUpdates.key, *c.storedUpdateCheck);
        EXPECT_EQ(settingsPanelValues(defaults, true, -7),
                  (SettingsPanelValues{c.selection, true, "-7", c.checkForUpdates}));
    }
    EXPECT_EQ(settingsScaleTitles(),
              (std::vector<std::string>{"Auto (Recommended)", "100%", "110%", "125%", "140%"}));
}

TEST(SettingsPanelModel, SaveStoresEveryChoiceAndRelaunchesOnlyForANewScale) {
    struct Case {
        const char* name;
        std::optional<double> storedBefore;
        double uiScale;
        SettingsPanelState state;
        std::optional<double> storedAfter;
        SettingsSaveResult expected;
    };
    const Case cases[] = {
        {"auto, nothing stored",
         std::nullopt,
         1.25,
         {"Auto (Recommended)", false, "", true},
         std::nullopt,
         {false, 424242, false}},
        {"auto after 110%", 1.1, 1.1, {"Auto (Recommended)", true, "5", true}, std::nullopt, {true, 5, true}},
        {"no selection counts as auto", 1.1, 1.1, {"", true, "5", true}, std::nullopt, {true, 5, true}},
        {"125% while running at 1.25",
         std::nullopt,
         1.25,
         {"125%", true, " 17 \n", true},
         1.25,
         {true, 17, false}},
        {"110% while running at 1.0", 1.0, 1.0, {"110%", false, "-3", false}, 1.1, {false, -3, true}},
        {"letters keep the seed", std::nullopt, 1.0, {"100%", true, "abc", true}, 1.0, {true, 424242, false}},
        {"overflow keeps the seed",
         std::nullopt,
         1.0,
         {"100%", true, "99999999999999999999", true},
         1.0,
         {true, 424242, false}},
    };
    for (const Case& c : cases) {
        testing::InMemoryDefaults defaults;
        if (c.storedBefore) defaults.setDouble(settings::uiScale.key, *c.storedBefore);
        EXPECT_EQ(saveSettings(c.state, c.uiScale, 424242, defaults), c.expected) << c.name;
        EXPECT_EQ(defaults.object(settings::uiScale.key),
                  c.storedAfter ? std::optional<DefaultsValue>(*c.storedAfter) : std::nullopt)
            << c.name;
        EXPECT_EQ(defaults.object(settings::deterministicMode.key),
                  DefaultsValue{c.expected.deterministicMode});
        EXPECT_EQ(defaults.object(settings::deterministicSeed.key),
                  DefaultsValue{c.expected.deterministicSeed});
        // A stored false is what turns the next start's update request off.
        EXPECT_EQ(defaults.object(settings::checkForUpdates.key), DefaultsValue{c.state.checkForUpdates});
        EXPECT_EQ(updateCheckEnabled(defaults), c.state.checkForUpdates) << c.name;
    }
}

}  // namespace
}  // namespace tw
