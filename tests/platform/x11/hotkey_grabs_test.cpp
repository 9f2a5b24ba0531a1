// The grabs that take the desktop hotkeys for the app: each of the six keys by position,
// with Shift and Super and whatever else is held, never with a lock's bit for Super's;
// what is said of a hotkey another program holds, and of one it lets go; and how often
// it is asked for again.
#include "platform/x11/hotkey_grabs.h"

#include <gtest/gtest.h>

#include <set>

namespace tw {
namespace {

constexpr unsigned kShift = 1, kCaps = 2, kControl = 4, kAlt = 8, kMod2 = 0x10, kMod3 = 0x20, kMod4 = 0x40,
                   kMod5 = 0x80;

TEST(HotkeyGrabs, EachHotkeyKeyInEveryStateHoldingShiftAndSuper) {
    struct Case {
        const char* what;
        GrabMasks masks;
        std::size_t statesPerKey;
        std::set<unsigned> among;  // states that must be grabbed
    };
    const Case cases[] = {
        {"Super on Mod4: with Control, Alt, AltGr and the locks in any combination",
         {kShift, kMod4},
         64,
         {kShift | kMod4, kShift | kMod4 | kControl, kShift | kMod4 | kAlt, kShift | kMod4 | kMod5,
          kShift | kMod4 | kCaps | kMod2, 0xff}},
        {"Super's keys on Mod3 and Mod4: either will do",
         {kShift, kMod3 | kMod4},
         96,
         {kShift | kMod3, kShift | kMod4, kShift | kMod3 | kMod4 | kControl}},
        {"Super on no modifier: nothing grabbed", {kShift, 0}, 0, {}},
        {"Num Lock on Super's Mod4, Super on Mod3 as well: Mod4 alone is the lock's",
         {.shift = kShift, .super = kMod3 | kMod4, .numLock = kMod4},
         64,
         {kShift | kMod3, kShift | kMod3 | kMod4}},
        {"Num Lock on Super's only modifier: nothing grabbed",
         {.shift = kShift, .super = kMod4, .numLock = kMod4},
         0,
         {}},
    };
    // T, D, F, S, L and I where a US keyboard has them.
    const std::set<std::uint32_t> keys{28, 40, 41, 39, 46, 31};
    for (const auto& c : cases) {
        const std::vector<KeyGrab> grabs = hotkeyGrabs(c.masks);
        ASSERT_EQ(grabs.size(), keys.size() * c.statesPerKey) << c.what;
        std::set<std::pair<std::uint32_t, unsigned>> distinct;
        for (const KeyGrab& grab : grabs) {
            EXPECT_TRUE((grab.modifiers & kShift) && (grab.modifiers & c.masks.super))
                << c.what << ": " << grab.modifiers;
            EXPECT_TRUE(keys.contains(grab.xKeycode)) << c.what << ": " << grab.xKeycode;
            EXPECT_NE(grab.hotkey, Hotkey::quit) << c.what;
            distinct.insert({grab.xKeycode, grab.modifiers});
        }
        EXPECT_EQ(distinct.size(), grabs.size()) << c.what;
        for (const unsigned state : c.among)
            for (const std::uint32_t key : keys)
                EXPECT_TRUE(distinct.contains({key, state})) << c.what << ": " << state;
    }
    EXPECT_EQ(hotkeyGrabs({kShift, kMod4}).front(), (KeyGrab{28, kShift | kMod4, Hotkey::recentThoughts}));
}

TEST(HotkeyGrabs, WhatIsSaid) {
    const GrabMasks usual{.shift = kShift, .super = kMod4, .numLock = kMod2, .capsLock = kCaps, .alt = kAlt};
    const unsigned super = kShift | kMod4;
    struct Case {
        const char* what;
        std::string said;
        std::string want;
    };
    const Case cases[] = {
        {"held whole", hotkeyHeldElsewhereLine(usual, Hotkey::dragDownLog, {super}),
         "Shift+Super+L is taken by another program, which gets the key as well; Tumblewick still "
         "answers it."},
        {"held with Ctrl in every lock's state: named once, the plain hotkey not at all",
         hotkeyHeldElsewhereLine(usual, Hotkey::recentThoughts,
                                 {kControl | super, kControl | super | kCaps, kControl | super | kMod2,
                                  kControl | super | kCaps | kMod2}),
         "Ctrl+Shift+Super+T is taken by another program, which gets the key as well; Tumblewick "
         "still answers it."},
        {"let go", hotkeyTakenAfterAllLine(Hotkey::dragDownLog),
         "Shift+Super+L is Tumblewick's alone now: the program that held it let it go."},
        {"a lock on Super's only modifier",
         superSharedWithLockLine({.shift = kShift, .super = kMod4, .numLock = kMod4}),
         "Num Lock sets Mod4, as Super does, and Super there cannot be told from the lock: the hotkeys "
         "are not grabbed, so they reach the window you are in as well (Tumblewick still answers them)."},
        {"locks on one of Super's two",
         superSharedWithLockLine(
             {.shift = kShift, .super = kMod3 | kMod4, .numLock = kMod4, .capsLock = kMod4}),
         "Caps Lock and Num Lock set Mod4, as Super does, and Super there cannot be told from the locks: "
         "the hotkeys are grabbed with Super on Mod3 only, and pressed with Super on Mod4 alone they "
         "reach the window you are in as well (Tumblewick still answers them)."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.said, c.want) << c.what;
}

TEST(HotkeyGrabs, RetriesBackOffToAMinute) {
    using namespace std::chrono_literals;
    const std::pair<int, std::chrono::milliseconds> cases[] = {{0, 2500ms}, {1, 5s}, {5, 60s}, {1000, 60s}};
    for (const auto& [tries, delay] : cases) EXPECT_EQ(grabRetryDelay(tries), delay) << tries;
}

}  // namespace
}  // namespace tw
