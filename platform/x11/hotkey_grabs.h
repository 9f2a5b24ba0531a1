#pragma once
// Which passive key grabs make the desktop hotkeys the app's alone on X11. The server
// matches a grab's modifiers exactly, and a hotkey counts whatever else is held with
// Shift and Super (Control, Alt, AltGr, the locks), so each key is grabbed in every
// modifier state that holds Shift and Super. Free of Xlib: the masks come from the
// server's keyboard map.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
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
    // The bits some key sets or locks: a state with any other is never pressed.
    unsigned pressable = 0xff;
    friend bool operator==(const GrabMasks&, const GrabMasks&) = default;
};

// One key of the server's keyboard map, as far as the modifiers go.
struct ModifierKey {
    enum class Action { none, sets, locks, other };
    std::uint32_t keysym = 0;      // its first: names what it does, never decides it
    unsigned filed = 0;            // the modifiers the modifier map files it under
    Action action = Action::none;  // in its first group and level; none when it has no actions
    unsigned actionMods = 0;       // the modifiers its action sets (or latches) or locks
    bool locksItself = false;      // pressed once it stays down until pressed again
};

// The masks of a keyboard, by what its keys do: a lock's bit is the one it locks, whatever
// the key is filed under (Caps Lock added to Mod4 still locks Lock).
GrabMasks grabMasks(const std::vector<ModifierKey>& keys);

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
// Said for a hotkey another program holds in the given states (its grabs' modifiers),
// named as a user presses them; empty when no key presses any of them.
std::string hotkeyHeldElsewhereLine(const GrabMasks& masks, Hotkey hotkey,
                                    const std::vector<unsigned>& states);
// Said when such a hotkey is ours after all.
std::string hotkeyTakenAfterAllLine(Hotkey hotkey);

// What is said, round after round of grabs, of the hotkeys other programs hold: a
// hotkey's states once, and again only when they name otherwise; and that it was let go
// only when one of those very states became ours and none a user presses is held.
class HeldElsewhere {
   public:
    // Logs what a round calls for: `refused` the grabs another program holds now, `taken`
    // the grabs the round got.
    void round(const GrabMasks& masks, const std::vector<KeyGrab>& refused,
               const std::vector<KeyGrab>& taken);
    // Whether another program held one of the hotkey's states and has not been seen to let it go.
    bool held(Hotkey hotkey) const;

   private:
    std::vector<KeyGrab> held_;
    std::vector<std::pair<Hotkey, std::string>> said_;
};

// When to ask for the hotkeys again: a second after the keyboard's mapping changed, so a
// window manager grabs its bindings anew first; then, while another program holds one,
// 2.5 s after a round, doubling to a minute, as a holder that stays is most likely a
// desktop's binding kept for good.
class GrabRetries {
   public:
    using Clock = std::chrono::steady_clock;
    // The mapping changed at `now`: how long until the round it calls for. A change while
    // that round is still to come leaves it where it is, so a tool remapping a key per
    // character typed does not keep the hotkeys back until it stops.
    std::chrono::milliseconds remapped(Clock::time_point now);
    // A round was made: how long until the next while another program holds a hotkey
    // (`sharing`), none otherwise.
    std::optional<std::chrono::milliseconds> afterRound(bool sharing);

   private:
    int rounds_ = 0;                        // since the mapping last changed
    std::optional<Clock::time_point> due_;  // of the round a changed mapping calls for, until it is made
};

}  // namespace tw
