// Where the colony window and the wizard open: clear of the strip, on common screens,
// at the menu's scales, with and without a window manager's frame.
#include "Tumblewick/colony/ui/above_strip_placement.h"

#include <gtest/gtest.h>

#include <array>

namespace tw {
namespace {

struct Window {
    QSize preferred, minimum;
};

// The strip's top is the screen's height less (80 + 150) x scale.
TEST(AboveStripPlacementTest, FitsBetweenTheWorkAreaTopAndTheStrip) {
    const Window colony{{800, 600}, {700, 400}};
    const Window wizard{{500, 600}, {500, 300}};
    const QMargins bar{1, 20, 1, 5};  // a title bar and thin borders
    struct Case {
        const char* what;
        QRect available;
        int stripTop;
        Window window;
        QMargins frame;
        std::array<int, 4> expected;  // x, y, width, height
    };
    const Case cases[] = {
        {"1920x1080 at 1: centred, full size", {0, 0, 1920, 1080}, 850, colony, bar, {560, 132, 800, 600}},
        {"1920x1080 at 1.25", {0, 0, 1920, 1080}, 793, colony, bar, {560, 104, 800, 600}},
        {"1920x1080, the wizard", {0, 0, 1920, 1080}, 850, wizard, bar, {710, 132, 500, 600}},
        {"1366x768 at 1: shorter, to the strip", {0, 0, 1366, 768}, 538, colony, bar, {283, 20, 800, 513}},
        {"1366x768 at 1.25", {0, 0, 1366, 768}, 481, colony, bar, {283, 20, 800, 456}},
        {"1366x768 at 1.25, the wizard", {0, 0, 1366, 768}, 481, wizard, bar, {433, 20, 500, 456}},
        {"1366x768 under a top panel", {0, 30, 1366, 738}, 538, colony, bar, {283, 50, 800, 483}},
        {"1366x768 without a frame", {0, 0, 1366, 768}, 538, colony, {}, {283, 0, 800, 538}},
        {"strip under a bottom panel", {0, 0, 1920, 1040}, 1080, colony, bar, {560, 227, 800, 600}},
        {"1024x600: the minimum, at the top", {0, 0, 1024, 600}, 370, colony, bar, {112, 20, 800, 400}},
        {"640x480: at the left edge", {0, 0, 640, 480}, 250, colony, bar, {1, 20, 800, 400}},
        {"a screen right of another", {1920, 0, 1366, 768}, 538, wizard, bar, {2353, 20, 500, 513}},
    };
    for (const auto& c : cases) {
        const QRect r =
            placeAboveStrip(c.available, c.stripTop, c.window.preferred, c.window.minimum, c.frame);
        EXPECT_EQ((std::array{r.x(), r.y(), r.width(), r.height()}), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace tw
