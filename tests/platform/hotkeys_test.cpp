#include "platform/hotkeys.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace tw {
namespace {

TEST(HotkeyFor, NeedsSuperAndShiftWithOneOfTheSixKeysWhichItsLabelNames) {
    struct Case {
        std::uint16_t keyCode;  // the position of the letter the label names
        Hotkey hotkey;
        const char* label;
    };
    const Case cases[] = {
        {17, Hotkey::recentThoughts, "Shift+Super+T"}, {2, Hotkey::chapter, "Shift+Super+D"},
        {3, Hotkey::watchPanel, "Shift+Super+F"},      {1, Hotkey::shareCard, "Shift+Super+S"},
        {37, Hotkey::dragDownLog, "Shift+Super+L"},    {34, Hotkey::dialogueInspector, "Shift+Super+I"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hotkeyFor({c.keyCode, true, true}), c.hotkey) << c.label;
        EXPECT_EQ(hotkeyLabel(c.hotkey), c.label);
    }
    // The tray menu's own keys are not the desktop's: Super+Q in another application stays there.
    const KeyPress notHotkeys[] = {{17, true, false}, {17, false, true}, {12, true, true},
                                   {12, true, false}, {43, true, true},  {kNoMacKeyCode, true, true}};
    for (const KeyPress& press : notHotkeys) EXPECT_EQ(hotkeyFor(press), std::nullopt) << press.keyCode;
}

}  // namespace
}  // namespace tw
