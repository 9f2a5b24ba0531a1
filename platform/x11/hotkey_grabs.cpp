#include "platform/x11/hotkey_grabs.h"

#include "platform/x11/mac_key_code_table.h"

namespace tw {

std::vector<KeyGrab> hotkeyGrabs(const GrabMasks& masks) {
    if (masks.super == 0 || masks.shift == 0) return {};
    // The eight core modifier bits. A state holding any of Super's bits counts: Super's
    // keys may sit on more than one, and the other bits of the same modifier (Hyper,
    // say) are held or not as any other modifier.
    constexpr unsigned kStates = 0x100;
    std::vector<KeyGrab> grabs;
    for (const HotkeyBinding& binding : hotkeyBindings) {
        if (binding.scope != HotkeyScope::desktop) continue;
        const auto keycode = xKeycodeOfMacKey(binding.keyCode);
        if (!keycode) continue;
        for (unsigned state = 0; state < kStates; ++state) {
            if ((state & masks.shift) != 0 && (state & masks.super) != 0)
                grabs.push_back({*keycode, state, binding.hotkey});
        }
    }
    return grabs;
}

std::string hotkeyHeldElsewhereLine(Hotkey hotkey) {
    return hotkeyLabel(hotkey) +
           " is taken by another program, which gets the key as well; Tumblewick still answers it.";
}

std::string hotkeyTakenAfterAllLine(Hotkey hotkey) {
    return hotkeyLabel(hotkey) + " is Tumblewick's alone now: the program that held it let it go.";
}

}  // namespace tw
