// The grabs that take the desktop hotkeys for the app: each of the six keys by position,
// with Shift and Super and whatever else is held, never with a lock's bit for Super's,
// a lock's bit being the one the key locks; what is said of a hotkey another program
// holds, and of one it lets go, round after round; and how often it is asked for again.
#include "platform/x11/hotkey_grabs.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "platform/log.h"

// The keysyms' numbers only.
#include <X11/keysym.h>

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

TEST(HotkeyGrabs, MasksByWhatTheKeysDo) {
    using Action = ModifierKey::Action;
    const ModifierKey shift{XK_Shift_L, kShift, Action::sets, kShift}, control{XK_Control_L, kControl},
        alt{XK_Alt_L, kAlt, Action::sets, kAlt}, super{XK_Super_L, kMod4, Action::sets, kMod4},
        numLock{XK_Num_Lock, kMod2, Action::locks, kMod2};
    const unsigned usual = kShift | kCaps | kControl | kAlt | kMod2 | kMod4;
    struct Case {
        const char* what;
        ModifierKey key;
        GrabMasks want;
    };
    const Case cases[] = {
        {"Caps Lock on Lock",
         {XK_Caps_Lock, kCaps, Action::locks, kCaps},
         {kShift, kMod4, kMod2, kCaps, 0, kAlt, usual}},
        {"Caps Lock filed under Mod4 still locks Lock: Mod4 stays Super's",
         {XK_Caps_Lock, kMod4, Action::locks, kCaps},
         {kShift, kMod4, kMod2, kCaps, 0, kAlt, usual}},
        {"a key named Caps_Lock that sets Mod4 is no lock, and no key sets Lock",
         {XK_Caps_Lock, kMod4, Action::sets, kMod4},
         {kShift, kMod4, kMod2, 0, 0, kAlt, usual & ~kCaps}},
        {"one that locks itself down locks what it is filed under",
         {XK_ISO_Level3_Lock, kMod5, Action::none, 0, true},
         {kShift, kMod4, kMod2, kMod5, 0, kAlt, (usual & ~kCaps) | kMod5}},
        {"Num Lock's second key locking Mod4: Mod4 is a lock's",
         {XK_Num_Lock, kMod4, Action::locks, kMod4},
         {kShift, kMod4, kMod2 | kMod4, 0, 0, kAlt, usual & ~kCaps}},
    };
    for (const auto& c : cases) {
        const GrabMasks masks = grabMasks({shift, control, alt, super, numLock, c.key});
        EXPECT_EQ(masks, c.want) << c.what << ": super " << masks.super << ", caps " << masks.capsLock
                                 << ", num " << masks.numLock << ", pressable " << masks.pressable;
    }
}

TEST(HotkeyGrabs, WhatIsSaid) {
    const std::string ctrlT =
        "Ctrl+Shift+Super+T is taken by another program, which gets the key as well; Tumblewick still "
        "answers it.";
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
         ctrlT},
        {"held with Ctrl, with and without Lock, which no key sets: named without it",
         hotkeyHeldElsewhereLine({.shift = kShift, .super = kMod4, .pressable = kShift | kControl | kMod4},
                                 Hotkey::recentThoughts, {kControl | super, kControl | super | kCaps}),
         ctrlT},
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

// Rounds of grabs for T, each with its masks, the states another program holds and the
// states taken; what each round says.
TEST(HotkeyGrabs, WhatIsSaidRoundAfterRound) {
    struct Round {
        GrabMasks masks;
        std::vector<unsigned> refused, taken;
        std::vector<std::string> said;
    };
    const GrabMasks mod4{.shift = kShift, .super = kMod4, .numLock = kMod2, .capsLock = kCaps},
        mod3{.shift = kShift, .super = kMod3, .numLock = kMod2, .capsLock = kCaps},
        noLockKey{.shift = kShift, .super = kMod4, .numLock = kMod2, .pressable = 0xff & ~kCaps};
    const auto withLocks = [](unsigned state) {
        return std::vector<unsigned>{state, state | kCaps, state | kMod2, state | kCaps | kMod2};
    };
    const std::vector<unsigned> ctrl4 = withLocks(kControl | kShift | kMod4),
                                ctrl3 = withLocks(kControl | kShift | kMod3);
    const std::string held =
        "⚠️ Ctrl+Shift+Super+T is taken by another program, which gets the key as well; "
        "Tumblewick still answers it.";
    const std::string letGo =
        "ℹ️ Shift+Super+T is Tumblewick's alone now: the program that held it let it go.";
    const struct {
        const char* what;
        std::vector<Round> rounds;
    } cases[] = {
        {"held again under a new mapping: said once",
         {{mod4, ctrl4, {}, {held}}, {mod3, ctrl3, {}, {}}, {mod4, ctrl4, {}, {}}}},
        {"a new mapping's states ours while the holder's were not asked for: none let go",
         {{mod4, ctrl4, {}, {held}}, {mod3, {}, ctrl3, {}}}},
        {"the holder's own states ours: let go", {{mod4, ctrl4, {}, {held}}, {mod4, {}, ctrl4, {letGo}}}},
        {"held only with Num Lock on, then let go",
         {{mod4,
           {kShift | kMod4 | kMod2},
           {},
           {"⚠️ Shift+Super+T with Num Lock on is taken by another program, "
            "which gets the key as well; Tumblewick still answers it."}},
          {mod4, {}, {kShift | kMod4 | kMod2}, {letGo}}}},
        {"held only with Lock, which no key sets: nothing to say",
         {{noLockKey, {kShift | kMod4 | kCaps}, {}, {}}, {noLockKey, {}, {kShift | kMod4 | kCaps}, {}}}},
    };
    const auto grabs = [](const std::vector<unsigned>& states) {
        std::vector<KeyGrab> grabs;
        for (const unsigned state : states) grabs.push_back({28, state, Hotkey::recentThoughts});
        return grabs;
    };
    for (const auto& c : cases) {
        HeldElsewhere heldElsewhere;
        for (std::size_t i = 0; i < c.rounds.size(); ++i) {
            std::vector<std::string> said;
            log::setSinkForTesting([&](std::string_view line) { said.emplace_back(line); });
            heldElsewhere.round(c.rounds[i].masks, grabs(c.rounds[i].refused), grabs(c.rounds[i].taken));
            log::setSinkForTesting(nullptr);
            EXPECT_EQ(said, c.rounds[i].said) << c.what << ", round " << i + 1;
        }
    }
}

TEST(HotkeyGrabs, RetriesBackOffToAMinuteAndStartOverOnANewMapping) {
    using namespace std::chrono_literals;
    using Ms = std::chrono::milliseconds;
    const GrabRetries::Clock::time_point start;
    GrabRetries retries;
    const std::pair<bool, std::chrono::milliseconds> steps[] = {
        {false, 2500ms}, {false, 5s},  {false, 10s}, {false, 20s},    {false, 40s},
        {false, 60s},    {false, 60s}, {true, 1s},   {false, 2500ms}, {false, 5s}};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto [remapped, delay] = steps[i];
        EXPECT_EQ(remapped ? retries.remapped(start) : retries.afterRound(true), delay) << "step " << i + 1;
    }
    // A new mapping every 0.4 s for 6 s, as from a typing tool: each round a second after
    // the first change since the last round, never put off by the changes that follow.
    std::vector<Ms> rounds;
    std::optional<Ms> due;
    for (Ms at{0}; at <= 6s; at += 400ms) {
        if (due && *due <= at) {
            rounds.push_back(*due);
            EXPECT_FALSE(retries.afterRound(false));
        }
        due = at + retries.remapped(start + at);
    }
    EXPECT_EQ(rounds, (std::vector<Ms>{1s, 2200ms, 3400ms, 4600ms, 5800ms}));
}

}  // namespace
}  // namespace tw
