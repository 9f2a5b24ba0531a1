#pragma once
// The Shift+Super hotkeys: which presses they are, and how every text names them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/input_monitor.h"

namespace tw {

enum class Hotkey { recentThoughts, chapter, watchPanel, shareCard, dragDownLog, dialogueInspector };

struct HotkeyBinding {
    Hotkey hotkey;
    std::uint16_t keyCode;  // the key's position, as KeyPress reports it
    char letter;            // what its cap says on a US layout
};

// The one table of the hotkeys: what presses them, and what every text that names
// them says.
inline constexpr std::array<HotkeyBinding, 6> hotkeyBindings{{
    {Hotkey::recentThoughts, 17, 'T'},
    {Hotkey::chapter, 2, 'D'},
    {Hotkey::watchPanel, 3, 'F'},
    {Hotkey::shareCard, 1, 'S'},
    {Hotkey::dragDownLog, 37, 'L'},
    {Hotkey::dialogueInspector, 34, 'I'},
}};

// The hotkey of a press: Super and Shift held (other modifiers do not matter) with
// one of the six keys.
std::optional<Hotkey> hotkeyFor(const KeyPress& press);
// How a text names a hotkey's keys: "Shift+Super+L".
std::string hotkeyLabel(Hotkey hotkey);

}  // namespace tw
