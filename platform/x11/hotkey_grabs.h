#pragma once
// Which passive key grabs make the desktop hotkeys the app's alone on X11. The server
// matches a grab's modifiers exactly, and a hotkey counts whatever else is held with
// Shift and Super (Control, Alt, AltGr, the locks), so each key is grabbed in every
// modifier state that holds Shift and Super. Free of Xlib: the masks come from the
// server's modifier mapping.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hotkeys.h"

namespace tw {

// The modifier masks of the keys that matter on this server: 0 for a key that sets no
// modifier.
struct GrabMasks {
    unsigned shift = 0;
    unsigned super = 0;
    // A lock sets its bit with no key held: a bit it shares with Super is never Super's.
    unsigned numLock = 0;
    unsigned capsLock = 0;  // Caps Lock's or Shift Lock's
    unsigned scrollLock = 0;
    unsigned alt = 0;  // for naming states only
};

struct KeyGrab {
    std::uint32_t xKeycode = 0;
    unsigned modifiers = 0;
    Hotkey hotkey = Hotkey::recentThoughts;
    friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
};

// Every grab, hotkey by hotkey; none where Super sets no modifier of its own (a grab
// without it would take plain Shift+letters, or those typed with a lock on, from every
// application).
std::vector<KeyGrab> hotkeyGrabs(const GrabMasks& masks);

// Said once when a lock sets one of Super's modifiers; empty when none does.
std::string superSharedWithLockLine(const GrabMasks& masks);
// Said once for a hotkey another program holds in the given states (its grabs' modifiers),
// named as a user presses them.
std::string hotkeyHeldElsewhereLine(const GrabMasks& masks, Hotkey hotkey,
                                    const std::vector<unsigned>& states);
// Said once when such a hotkey is ours after all.
std::string hotkeyTakenAfterAllLine(Hotkey hotkey);

// How long to wait before asking again for a hotkey another program holds, after
// `tries` asks found it held: 2.5 s, doubling to a minute, as a holder that stays is
// most likely a desktop's binding kept for good.
std::chrono::milliseconds grabRetryDelay(int tries);

}  // namespace tw
