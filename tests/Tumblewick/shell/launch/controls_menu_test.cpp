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

TEST(ControlsMenu, ListsColonyScalesAndTheTimelineSwitchWithTheirMarks) {
    const auto items = controlMenuItems(1.25, 0, false);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].title, "Colony (Create a Flea)...");
    EXPECT_EQ(items[0].action, ControlAction::openColony);
    EXPECT_TRUE(items[1].separator);
    EXPECT_EQ(items[2].title, "Display scale");
    EXPECT_EQ(items[4].title, "Deterministic timeline: OFF");
    EXPECT_EQ(controlMenuItems(1.0, 0, true)[4].title, "Deterministic timeline: ON");

    std::vector<std::string> titles;
    for (const auto& sub : items[2].submenu) titles.push_back(sub.separator ? "-" : sub.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Scale 100%", "Scale 110%", "Scale 125%", "Scale 140%", "-",
                                                "Auto (Recommended)"}));
    EXPECT_EQ(items[2].submenu[3].scale, 1.4);

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
