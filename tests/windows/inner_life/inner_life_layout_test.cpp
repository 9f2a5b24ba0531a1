// Where the inner life panel's rows stand, whatever heights its fonts give them.
#include "windows/inner_life/inner_life_layout.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

void expectRect(const Rect& actual, const Rect& expected, const char* row) {
    EXPECT_DOUBLE_EQ(actual.x, expected.x) << row;
    EXPECT_DOUBLE_EQ(actual.y, expected.y) << row;
    EXPECT_DOUBLE_EQ(actual.width, expected.width) << row;
    EXPECT_DOUBLE_EQ(actual.height, expected.height) << row;
}

TEST(InnerLifeLayout, StacksFixedRowsInsetOnBothSidesInside320By360) {
    EXPECT_EQ(innerLifeContentSize, (Size{320, 360}));
    const InnerLifeRowHeights usualHeights{.name = 22, .voice = 13, .section = 11, .bonds = 13, .button = 20};
    const InnerLifeLayout usual{.name = {16, 18, 288, 22},
                                .voice = {16, 42, 288, 13},
                                .moodHeader = {16, 71, 288, 11},
                                .moodBars = {16, 88, 288, 60},
                                .bonds = {16, 160, 288, 13},
                                .timelineButton = {16, 179, 110, 20},
                                .linesHeader = {16, 209, 288, 11},
                                .lines = {0, 224, 320, 124}};
    InnerLifeLayout wideButton = usual;
    wideButton.timelineButton.width = 288;  // stops at the trailing inset
    const struct {
        const char* what;
        InnerLifeRowHeights heights;
        double buttonWidth;
        InnerLifeLayout expected;
    } cases[] = {
        {"usual fonts", usualHeights, 110, usual},
        {"a wide button", usualHeights, 500, wideButton},
        // Rows too tall for the panel leave the lines no room, never a negative height.
        {"huge fonts",
         {.name = 80, .voice = 60, .section = 40, .bonds = 60, .button = 60},
         110,
         {.name = {16, 18, 288, 80},
          .voice = {16, 100, 288, 60},
          .moodHeader = {16, 176, 288, 40},
          .moodBars = {16, 222, 288, 60},
          .bonds = {16, 294, 288, 60},
          .timelineButton = {16, 360, 110, 60},
          .linesHeader = {16, 430, 288, 40},
          .lines = {0, 348, 320, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const InnerLifeLayout layout = innerLifeLayout(c.heights, c.buttonWidth);
        expectRect(layout.name, c.expected.name, "name");
        expectRect(layout.voice, c.expected.voice, "voice");
        expectRect(layout.moodHeader, c.expected.moodHeader, "mood header");
        expectRect(layout.moodBars, c.expected.moodBars, "mood bars");
        expectRect(layout.bonds, c.expected.bonds, "bonds");
        expectRect(layout.timelineButton, c.expected.timelineButton, "timeline button");
        expectRect(layout.linesHeader, c.expected.linesHeader, "lines header");
        expectRect(layout.lines, c.expected.lines, "lines");
    }
}

}  // namespace
}  // namespace tw
