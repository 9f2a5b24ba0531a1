// Where titled windows open: clear of the strip, on common screens, at the menu's
// scales, with and without a window manager's frame.
#include "platform/x11/above_strip_placement.h"

#include <gtest/gtest.h>

#include <array>

namespace tw {
namespace {

using Box = std::array<int, 4>;  // x, y, width, height
Box box(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

// The strip's top is the screen's height less (80 + 150) x scale.
// The colony window and its wizard: centred in the space above the strip.
TEST(AboveStripPlacementTest, FitsBetweenTheWorkAreaTopAndTheStrip) {
    const QSize colony{800, 600};
    const QSize wizard{500, 600};
    const QMargins bar{1, 20, 1, 5};  // a title bar and thin borders
    struct Case {
        const char* what;
        QRect available;
        int stripTop;
        QSize window;
        QMargins frame;
        Box expected;
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
        {"1024x600: shorter than its minimum", {0, 0, 1024, 600}, 370, colony, bar, {112, 20, 800, 345}},
        {"640x480: as wide as the screen", {0, 0, 640, 480}, 250, colony, bar, {1, 20, 638, 225}},
        {"a screen right of another", {1920, 0, 1366, 768}, 538, wizard, bar, {2353, 20, 500, 513}},
    };
    for (const auto& c : cases) {
        const QRect wanted = centredIn(spaceAboveStrip(c.available, c.stripTop), c.window, c.frame);
        const QRect r = placeAboveStrip(c.available, c.stripTop, wanted, c.frame);
        EXPECT_EQ(box(r), c.expected) << c.what;
    }
}

// The other titled windows keep their own places where those clear the strip, and
// move up only as far as they must.
TEST(AboveStripPlacementTest, KeepsAWindowsOwnPlaceUnlessTheStripCoversIt) {
    const QMargins bar{1, 20, 1, 5};
    const QRect full{0, 0, 1920, 1080};
    const QRect small{0, 0, 1366, 768};
    // The dialogue inspector: 24 in from the right, 80 up from the bottom.
    const auto inspector = [](const QRect& screen) {
        return QRect(screen.right() + 1 - 520 - 24, screen.bottom() + 1 - 80 - 420, 520, 420);
    };
    const QSize troupe{480, 640};
    const QSize settings{440, 290};
    struct Case {
        const char* what;
        QRect available;
        int stripTop;
        QRect wanted;
        Box expected;
    };
    const Case cases[] = {
        {"inspector, 1920x1080: up to the strip", full, 850, inspector(full), {1376, 425, 520, 420}},
        {"inspector, 1366x768", small, 538, inspector(small), {822, 113, 520, 420}},
        {"inspector, 1366x768 at 1.25", small, 481, inspector(small), {822, 56, 520, 420}},
        {"timeline, 1920x1080: centred, kept",
         full,
         850,
         centredIn(full, {540, 480}, bar),
         {690, 307, 540, 480}},
        {"timeline, 1366x768: up to the strip",
         small,
         538,
         centredIn(small, {540, 480}, bar),
         {413, 53, 540, 480}},
        {"troupe, 1920x1080: up to the strip", full, 850, centredIn(full, troupe, bar), {720, 205, 480, 640}},
        {"troupe, 1366x768: shorter than its minimum, to the strip",
         small,
         538,
         centredIn(small, troupe, bar),
         {443, 20, 480, 513}},
        {"troupe, 1366x768 under a top panel",
         {0, 30, 1366, 738},
         538,
         centredIn(small, troupe, bar),
         {443, 50, 480, 483}},
        {"troupe, 1366x768 at 1.4", small, 446, centredIn(small, troupe, bar), {443, 20, 480, 421}},
        {"settings, 1366x768: up to the strip",
         small,
         538,
         centredIn(small, settings, bar),
         {463, 243, 440, 290}},
        {"settings, 1366x768 at 1.25", small, 481, centredIn(small, settings, bar), {463, 186, 440, 290}},
        {"settings, 1366x768 at 1.4", small, 446, centredIn(small, settings, bar), {463, 151, 440, 290}},
        {"no room at all: one row above the strip",
         small,
         20,
         centredIn(small, settings, bar),
         {463, 14, 440, 1}},
        {"inner life, 84 below the top: kept", small, 538, {662, 84, 320, 360}, {662, 84, 320, 360}},
        {"agent settings, 1366x768: kept",
         small,
         538,
         centredIn(small, {340, 220}, bar),
         {513, 281, 340, 220}},
        {"agent settings, 1366x768 at 1.25: up",
         small,
         481,
         centredIn(small, {340, 220}, bar),
         {513, 256, 340, 220}},
        {"its frame's foot on the strip's top row: up by one",
         full,
         850,
         {0, 425, 100, 421},
         {0, 424, 100, 421}},
        {"no strip on this screen", full, 1081, inspector(full), {1376, 580, 520, 420}},
        {"strip under a bottom panel: above the panel",
         {0, 0, 1920, 1040},
         1080,
         {0, 700, 100, 400},
         {0, 635, 100, 400}},
    };
    for (const auto& c : cases) {
        const QRect r = placeAboveStrip(c.available, c.stripTop, c.wanted, bar);
        EXPECT_EQ(box(r), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace tw
