#include "platform/x11/hotkey_grabs.h"

#include <algorithm>

#include "platform/x11/mac_key_code_table.h"

namespace tw {

std::vector<KeyGrab> hotkeyGrabs(const GrabMasks& masks) {
    if (masks.super == 0 || masks.shift == 0) return {};
    // Locks on a modifier of their own: one sharing Shift's or Super's would change the hotkey.
    std::vector<unsigned> locks;
    for (const unsigned lock : masks.locks) {
        if (lock != 0 && (lock & (masks.shift | masks.super)) == 0 &&
            std::find(locks.begin(), locks.end(), lock) == locks.end())
            locks.push_back(lock);
    }
    std::vector<unsigned> combinations{0};
    for (const unsigned lock : locks) {
        const std::size_t count = combinations.size();
        for (std::size_t i = 0; i < count; ++i) combinations.push_back(combinations[i] | lock);
    }
    std::vector<KeyGrab> grabs;
    for (const HotkeyBinding& binding : hotkeyBindings) {
        if (binding.scope != HotkeyScope::desktop) continue;
        const auto keycode = xKeycodeOfMacKey(binding.keyCode);
        if (!keycode) continue;
        for (const unsigned locked : combinations)
            grabs.push_back({*keycode, masks.shift | masks.super | locked, binding.hotkey});
    }
    return grabs;
}

std::string hotkeyHeldElsewhereLine(Hotkey hotkey) {
    return hotkeyLabel(hotkey) +
           " is taken by another program, which gets the key as well; Tumblewick still answers it.";
}

}  // namespace tw
