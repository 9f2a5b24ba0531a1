// The grabs that take the desktop hotkeys for the app: each of the six keys by position,
// with Shift and Super and every set of locks that may be on; and what is said of a
// hotkey another program holds.
#include "platform/x11/hotkey_grabs.h"

#include <gtest/gtest.h>

#include <set>

namespace tw {
namespace {

constexpr unsigned kShift = 1, kCaps = 2, kMod2 = 0x10, kMod3 = 0x20, kMod4 = 0x40;

TEST(HotkeyGrabs, EachHotkeyKeyWithShiftSuperAndEveryLockCombination) {
    struct Case {
        const char* what;
        GrabMasks masks;
        std::set<unsigned> modifiers;  // the same for each of the six keys
    };
    const Case cases[] = {
        {"Caps and Num Lock (no Scroll Lock modifier)",
         {kShift, kMod4, {kCaps, kMod2, 0}},
         {0x41, 0x43, 0x51, 0x53}},
        {"all three locks",
         {kShift, kMod4, {kCaps, kMod2, kMod3}},
         {0x41, 0x43, 0x51, 0x53, 0x61, 0x63, 0x71, 0x73}},
        {"Scroll Lock on Num Lock's modifier",
         {kShift, kMod4, {kCaps, kMod2, kMod2}},
         {0x41, 0x43, 0x51, 0x53}},
        {"a lock sharing Super's modifier changes no hotkey",
         {kShift, kMod4, {kCaps, kMod4, 0}},
         {0x41, 0x43}},
        {"Super on no modifier: nothing grabbed", {kShift, 0, {kCaps, kMod2, 0}}, {}},
    };
    // T, D, F, S, L and I where a US keyboard has them.
    const std::multiset<std::uint32_t> keys{28, 40, 41, 39, 46, 31};
    for (const auto& c : cases) {
        const std::vector<KeyGrab> grabs = hotkeyGrabs(c.masks);
        ASSERT_EQ(grabs.size(), 6 * c.modifiers.size()) << c.what;
        std::multiset<std::uint32_t> keycodes;
        for (const KeyGrab& grab : grabs) {
            EXPECT_TRUE(c.modifiers.contains(grab.modifiers)) << c.what << ": " << grab.modifiers;
            if (grab.modifiers == 0x41) keycodes.insert(grab.xKeycode);
        }
        if (!grabs.empty()) {
            EXPECT_EQ(keycodes, keys) << c.what;
        }
        for (const KeyGrab& grab : grabs) EXPECT_NE(grab.hotkey, Hotkey::quit) << c.what;
    }
    EXPECT_EQ(hotkeyGrabs({kShift, kMod4, {kCaps, 0, 0}}).front(),
              (KeyGrab{28, 0x41, Hotkey::recentThoughts}));
}

TEST(HotkeyGrabs, AHotkeyHeldElsewhereIsNamed) {
    EXPECT_EQ(hotkeyHeldElsewhereLine(Hotkey::dragDownLog),
              "Shift+Super+L is taken by another program, which gets the key as well; Tumblewick still "
              "answers it.");
}

}  // namespace
}  // namespace tw
