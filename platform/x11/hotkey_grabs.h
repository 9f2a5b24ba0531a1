#pragma once
// Which passive key grabs make the desktop hotkeys the app's alone on X11. The server
// matches a grab's modifiers exactly, and a hotkey counts whatever else is held with
// Shift and Super (Control, Alt, AltGr, the locks), so each key is grabbed in every
// modifier state that holds Shift and Super. Free of Xlib: the masks come from the
// server's modifier mapping.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hotkeys.h"

namespace tw {

// The modifier masks of Shift and Super on this server: 0 for a key that sets no modifier.
struct GrabMasks {
    unsigned shift = 0;
    unsigned super = 0;
};

struct KeyGrab {
    std::uint32_t xKeycode = 0;
    unsigned modifiers = 0;
    Hotkey hotkey = Hotkey::recentThoughts;
    friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
};

// Every grab, hotkey by hotkey; none where Super sets no modifier (a grab without it
// would take plain Shift+letters from every application).
std::vector<KeyGrab> hotkeyGrabs(const GrabMasks& masks);

// Said once for a hotkey another program holds already.
std::string hotkeyHeldElsewhereLine(Hotkey hotkey);
// Said once when such a hotkey is ours after all.
std::string hotkeyTakenAfterAllLine(Hotkey hotkey);

}  // namespace tw
