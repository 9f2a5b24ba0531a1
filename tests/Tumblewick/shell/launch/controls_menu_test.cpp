// The controls menu's items, titles and check marks.
#include "Tumblewick/shell/launch/controls_menu.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

std::vector<std::string> checkedScaleTitles(const std::vector<ControlMenuItem>& items) {
    std::vector<std::string> checked;
    for (const auto& item : items) {
        for (const auto& sub : item.submenu) {
            if (sub.checked) checked.push_back(sub.title);
        }
    }
    return checked;
}

TEST(ControlsMenu, ListsColonySettingsDiagnosticsScalesAndTheTimelineSwitchWithTheirMarks) {
    const auto items = controlMenuItems(1.25, 0, false);
    std::vector<std::pair<std::string, ControlAction>> top;
    for (const auto& item : items) top.emplace_back(item.separator ? "-" : item.title, item.action);
    EXPECT_EQ(top, (std::vector<std::pair<std::string, ControlAction>>{
                       {"Colony (Create a Flea)...", ControlAction::openColony},
                       {"-", ControlAction::none},
                       {"Settings...", ControlAction::openSettingsPanel},
                       {"Export diagnostics", ControlAction::exportDiagnostics},
                       {"-", ControlAction::none},
                       {"Display scale", ControlAction::none},
                       {"-", ControlAction::none},
                       {"Deterministic timeline: OFF", ControlAction::toggleDeterministicMode}}));
    EXPECT_EQ(controlMenuItems(1.0, 0, true).back().title, "Deterministic timeline: ON");
    EXPECT_EQ(items[0].key, 'c');

    const ControlMenuItem& scaleMenu = items[5];
    std::vector<std::string> titles;
    for (const auto& sub : scaleMenu.submenu) titles.push_back(sub.separator ? "-" : sub.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Scale 100%", "Scale 110%", "Scale 125%", "Scale 140%", "-",
                                                "Auto (Recommended)"}));
    EXPECT_EQ(scaleMenu.submenu[3].scale, 1.4);
    EXPECT_EQ(scaleMenu.submenu[5].action, ControlAction::selectDisplayScaleAuto);

    struct Case {
        double uiScale, stored;
        std::vector<std::string> checked;
    };
    // An automatic scale that equals a fixed one marks both.
    const Case cases[] = {{1.25, 0, {"Scale 125%", "Auto (Recommended)"}},
                          {1.1, 1.1, {"Scale 110%"}},
                          {1.33, 1.33, {}},
                          {1.0, -1, {"Scale 100%", "Auto (Recommended)"}}};
    for (const Case& c : cases) {
        EXPECT_EQ(checkedScaleTitles(controlMenuItems(c.uiScale, c.stored, false)), c.checked) << c.uiScale;
    }
}

}  // namespace
}  // namespace tw
