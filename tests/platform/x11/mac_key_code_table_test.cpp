#include "platform/x11/mac_key_code_table.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/input_monitor.h"

namespace tw {
namespace {

struct Case {
    const char* name;
    std::uint32_t xKeycode;
    std::uint32_t keysym;
    TranslatedKey expected;
};

TEST(MacKeyCodeTable, TranslatesByPositionAndTakesModifiersFromTheKeysym) {
    const Case cases[] = {
        // The hotkey letters, as on a US layout.
        {"T", 28, XK_t, {17, KeyRole::ordinary}},
        {"D", 40, XK_d, {2, KeyRole::ordinary}},
        {"F", 41, XK_f, {3, KeyRole::ordinary}},
        {"S", 39, XK_s, {1, KeyRole::ordinary}},
        {"L", 46, XK_l, {37, KeyRole::ordinary}},
        {"I", 31, XK_i, {34, KeyRole::ordinary}},
        // Position wins over the layout's letter: the key left of W is A's code.
        {"A key typing Q (AZERTY)", 38, XK_q, {0, KeyRole::ordinary}},
        {"Escape", 9, XK_Escape, {53, KeyRole::ordinary}},
        {"Up", 111, XK_Up, {126, KeyRole::ordinary}},
        // X codes 54 and 55 are the C and V keys, not the Command keys.
        {"X code 54", 54, XK_c, {8, KeyRole::ordinary}},
        {"X code 55", 55, XK_v, {9, KeyRole::ordinary}},
        {"Super_L", 133, XK_Super_L, {55, KeyRole::command}},
        {"Super_R", 134, XK_Super_R, {54, KeyRole::command}},
        {"Caps Lock remapped to Super", 66, XK_Super_L, {55, KeyRole::command}},
        {"Super key remapped to a letter", 133, XK_z, {kNoMacKeyCode, KeyRole::ordinary}},
        {"Shift_L", 50, XK_Shift_L, {56, KeyRole::shift}},
        {"Shift_R", 62, XK_Shift_R, {60, KeyRole::shift}},
        {"Control", 37, XK_Control_L, {59, KeyRole::otherModifier}},
        {"Alt", 64, XK_Alt_L, {58, KeyRole::otherModifier}},
        {"AltGr", 108, XK_ISO_Level3_Shift, {61, KeyRole::otherModifier}},
        {"Caps Lock", 66, XK_Caps_Lock, {57, KeyRole::otherModifier}},
        {"Num Lock", 77, XK_Num_Lock, {71, KeyRole::otherModifier}},
        // Without a keysym the position decides the role too.
        {"Super_L, keysym unknown", 133, 0, {55, KeyRole::command}},
        {"Shift_R, keysym unknown", 62, 0, {60, KeyRole::shift}},
        {"letter, keysym unknown", 28, 0, {17, KeyRole::ordinary}},
        // Keys without a macOS counterpart, or outside any table, are still ordinary keys.
        {"Pause", 127, XK_Pause, {kNoMacKeyCode, KeyRole::ordinary}},
        {"below the evdev range", 3, 0, {kNoMacKeyCode, KeyRole::ordinary}},
        {"above the evdev range", 300, 0, {kNoMacKeyCode, KeyRole::ordinary}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(translateXKey(c.xKeycode, c.keysym), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tw
