#include "platform/hotkeys.h"

namespace tw {

std::optional<Hotkey> hotkeyFor(const KeyPress& press) {
    if (!press.command || !press.shift) return std::nullopt;
    for (const HotkeyBinding& binding : hotkeyBindings)
        if (binding.scope == HotkeyScope::desktop && binding.keyCode == press.keyCode) return binding.hotkey;
    return std::nullopt;
}

std::optional<Hotkey> trayMenuHotkeyFor(const KeyPress& press) {
    if (!press.command) return std::nullopt;
    for (const HotkeyBinding& binding : hotkeyBindings) {
        if (binding.scope == HotkeyScope::trayMenu && binding.keyCode == press.keyCode &&
            binding.shift == press.shift)
            return binding.hotkey;
    }
    return std::nullopt;
}

std::string hotkeyLabel(Hotkey hotkey) {
    for (const HotkeyBinding& binding : hotkeyBindings)
        if (binding.hotkey == hotkey)
            return std::string(binding.shift ? "Shift+" : "") + "Super+" + binding.letter;
    return {};
}

}  // namespace tw
