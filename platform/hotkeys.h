#pragma once
// The Super hotkeys: which presses they are, where they are answered, and how every
// text names them.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/input_monitor.h"

namespace tw {

enum class Hotkey {
    recentThoughts,
    chapter,
    watchPanel,
    shareCard,
    dragDownLog,
    dialogueInspector,
    agentSettings,
    quit,
};

// Where a hotkey is answered: anywhere on the desktop, or only by the tray menu while
// it is open (Super+Q must never quit Tumblewick from inside another application).
enum class HotkeyScope { desktop, trayMenu };

struct HotkeyBinding {
    Hotkey hotkey;
    std::uint16_t keyCode;  // the key's position, as KeyPress reports it
    char letter;            // what its cap says on a US layout
    bool shift;             // held together with Super
    HotkeyScope scope;
};

// The one table of the hotkeys: what presses them, where, and what every text that
// names them says.
inline constexpr std::array<HotkeyBinding, 8> hotkeyBindings{{
    {Hotkey::recentThoughts, 17, 'T', true, HotkeyScope::desktop},
    {Hotkey::chapter, 2, 'D', true, HotkeyScope::desktop},
    {Hotkey::watchPanel, 3, 'F', true, HotkeyScope::desktop},
    {Hotkey::shareCard, 1, 'S', true, HotkeyScope::desktop},
    {Hotkey::dragDownLog, 37, 'L', true, HotkeyScope::desktop},
    {Hotkey::dialogueInspector, 34, 'I', true, HotkeyScope::desktop},
    {Hotkey::agentSettings, 43, ',', true, HotkeyScope::trayMenu},
    {Hotkey::quit, 12, 'Q', false, HotkeyScope::trayMenu},
}};

// The desktop hotkey of a press: Super and Shift held (other modifiers do not matter)
// with one of the six keys.
std::optional<Hotkey> hotkeyFor(const KeyPress& press);
// The tray menu's own hotkey of a press made while it is open: Super held, Shift held
// exactly when the binding says, and its key. A key without Super is never one.
std::optional<Hotkey> trayMenuHotkeyFor(const KeyPress& press);
// How a text names a hotkey's keys: "Shift+Super+L", "Super+Q".
std::string hotkeyLabel(Hotkey hotkey);

}  // namespace tw
