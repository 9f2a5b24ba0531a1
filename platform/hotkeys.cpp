#include "platform/hotkeys.h"

namespace tw {

std::optional<Hotkey> hotkeyFor(const KeyPress& press) {
    if (!press.command || !press.shift) return std::nullopt;
    for (const HotkeyBinding& binding : hotkeyBindings)
        if (binding.keyCode == press.keyCode) return binding.hotkey;
    return std::nullopt;
}

std::string hotkeyLabel(Hotkey hotkey) {
    for (const HotkeyBinding& binding : hotkeyBindings)
        if (binding.hotkey == hotkey) return std::string("Shift+Super+") + binding.letter;
    return {};
}

}  // namespace tw
