#include "platform/x11/hotkey_grabs.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "platform/log.h"
#include "platform/x11/mac_key_code_table.h"

// The keysyms' numbers only.
#include <X11/keysym.h>

namespace tw {
namespace {

// The eight core modifier bits, by the names the server gives them.
constexpr unsigned kStates = 0x100;
constexpr unsigned kControl = 1u << 2;
constexpr const char* kBitNames[8] = {"Shift", "Lock", "Control", "Mod1", "Mod2", "Mod3", "Mod4", "Mod5"};

template <typename T>
bool contains(const std::vector<T>& list, const T& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

unsigned lockBits(const GrabMasks& masks) { return masks.numLock | masks.capsLock | masks.scrollLock; }

// Super's bits that no lock sets on its own.
unsigned superBits(const GrabMasks& masks) { return masks.super & ~lockBits(masks); }

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

std::string bitNames(unsigned mask) {
    std::vector<std::string> names;
    for (unsigned bit = 0; bit < 8; ++bit)
        if ((mask & (1u << bit)) != 0) names.emplace_back(kBitNames[bit]);
    return joined(names);
}

std::vector<std::string> lockNames(const GrabMasks& masks, unsigned state) {
    std::vector<std::string> names;
    if ((state & masks.capsLock) != 0) names.emplace_back("Caps Lock");
    if ((state & masks.numLock) != 0) names.emplace_back("Num Lock");
    if ((state & masks.scrollLock) != 0) names.emplace_back("Scroll Lock");
    return names;
}

// A state as a user presses it: "Ctrl+Shift+Super+T with Num Lock on".
std::string stateLabel(const GrabMasks& masks, Hotkey hotkey, unsigned state) {
    const unsigned locks = state & lockBits(masks) & ~masks.shift;
    unsigned others = state & ~locks & ~masks.shift & ~superBits(masks);
    std::string label;
    if ((others & kControl) != 0) label += "Ctrl+";
    if ((others & masks.alt) != 0) label += "Alt+";
    others &= ~(kControl | masks.alt);
    for (unsigned bit = 0; bit < 8; ++bit)
        if ((others & (1u << bit)) != 0) label += std::string(kBitNames[bit]) + "+";
    label += hotkeyLabel(hotkey);
    if (locks != 0) label += " with " + joined(lockNames(masks, locks)) + " on";
    return label;
}

std::chrono::milliseconds grabRetryDelay(int tries) {
    constexpr std::chrono::milliseconds kFirst{2500};
    constexpr std::chrono::milliseconds kMost{60000};
    std::chrono::milliseconds delay = kFirst;
    for (int i = 0; i < tries && delay < kMost; ++i) delay *= 2;
    return std::min(delay, kMost);
}

}  // namespace

GrabMasks grabMasks(const std::vector<ModifierKey>& keys) {
    GrabMasks masks{.shift = 1, .pressable = 0};
    using Action = ModifierKey::Action;
    for (const ModifierKey& key : keys) {
        // A key without actions sets what it is filed under, as the core protocol has it.
        unsigned sets = key.action == Action::none   ? key.filed
                        : key.action == Action::sets ? key.actionMods
                                                     : 0;
        unsigned locks = key.action == Action::locks ? key.actionMods : 0;
        if (key.locksItself) locks |= std::exchange(sets, 0u);
        masks.pressable |= sets | locks;
        switch (key.keysym) {
            case XK_Super_L:
            case XK_Super_R:
                masks.super |= sets;
                break;
            case XK_Alt_L:
            case XK_Alt_R:
                masks.alt |= sets;
                break;
            case XK_Num_Lock:
                masks.numLock |= locks;
                break;
            case XK_Scroll_Lock:
                masks.scrollLock |= locks;
                break;
            default:  // Caps Lock, Shift Lock, and a lock by any other name
                masks.capsLock |= locks;
        }
    }
    return masks;
}

std::vector<KeyGrab> hotkeyGrabs(const GrabMasks& masks) {
    const unsigned super = superBits(masks);
    if (super == 0 || masks.shift == 0) return {};
    // A state holding any of Super's bits counts: Super's keys may sit on more than one,
    // and the other bits of the same modifier (Hyper, say) are held or not as any other
    // modifier.
    std::vector<KeyGrab> grabs;
    for (const HotkeyBinding& binding : hotkeyBindings) {
        if (binding.scope != HotkeyScope::desktop) continue;
        const auto keycode = xKeycodeOfMacKey(binding.keyCode);
        if (!keycode) continue;
        for (unsigned state = 0; state < kStates; ++state) {
            if ((state & masks.shift) != 0 && (state & super) != 0)
                grabs.push_back({*keycode, state, binding.hotkey});
        }
    }
    return grabs;
}

std::string superSharedWithLockLine(const GrabMasks& masks) {
    const unsigned shared = masks.super & lockBits(masks);
    if (shared == 0) return {};
    const std::vector<std::string> locks = lockNames(masks, shared);
    const bool one = locks.size() == 1;
    std::string line = joined(locks) + (one ? " sets " : " set ") + bitNames(shared) +
                       ", as Super does, and Super there cannot be told from " +
                       (one ? "the lock: " : "the locks: ");
    const std::string answered = "reach the window you are in as well (Tumblewick still answers them).";
    if (superBits(masks) == 0) return line + "the hotkeys are not grabbed, so they " + answered;
    return line + "the hotkeys are grabbed with Super on " + bitNames(superBits(masks)) +
           " only, and pressed with Super on " + bitNames(shared) + " alone they " + answered;
}

std::string hotkeyHeldElsewhereLine(const GrabMasks& masks, Hotkey hotkey,
                                    const std::vector<unsigned>& states) {
    // A desktop binds a key with every combination of the locks: name it once, without them.
    const unsigned locks = lockBits(masks) & ~masks.shift;
    const auto combinations = std::ptrdiff_t{1} << std::popcount(locks);
    std::vector<unsigned> pressed;
    for (const unsigned state : states)
        if ((state & ~masks.pressable) == 0) pressed.push_back(state);
    std::vector<std::string> names;
    for (const unsigned state : pressed) {
        const unsigned base = state & ~locks;
        const bool everyLock = std::count_if(pressed.begin(), pressed.end(), [&](unsigned s) {
                                   return (s & ~locks) == base;
                               }) == combinations;
        std::string name = stateLabel(masks, hotkey, everyLock ? base : state);
        if (!contains(names, name)) names.push_back(std::move(name));
    }
    if (names.empty()) return {};
    const bool one = names.size() == 1;
    return joined(names) + (one ? " is" : " are") + " taken by another program, which gets " +
           (one ? "the key" : "those keys") + " as well; Tumblewick still answers " + (one ? "it." : "them.");
}

std::string hotkeyTakenAfterAllLine(Hotkey hotkey) {
    return hotkeyLabel(hotkey) + " is Tumblewick's alone now: the program that held it let it go.";
}

void HeldElsewhere::round(const GrabMasks& masks, const std::vector<KeyGrab>& refused,
                          const std::vector<KeyGrab>& taken) {
    for (const HotkeyBinding& binding : hotkeyBindings) {
        const Hotkey hotkey = binding.hotkey;
        std::vector<unsigned> states;
        for (const KeyGrab& grab : refused)
            if (grab.hotkey == hotkey) states.push_back(grab.modifiers);
        const std::string line = hotkeyHeldElsewhereLine(masks, hotkey, states);
        const auto said =
            std::find_if(said_.begin(), said_.end(), [&](const auto& s) { return s.first == hotkey; });
        if (!line.empty()) {
            // A new mapping names the same keys by other bits: nothing new to say.
            if (said != said_.end() && said->second == line) continue;
            if (said != said_.end()) said_.erase(said);
            said_.emplace_back(hotkey, line);
            log::warning(line);
            continue;
        }
        // Ours where the holder was: not merely states the holder never had under this mapping.
        const bool letGo = std::any_of(taken.begin(), taken.end(), [&](const KeyGrab& grab) {
            return (grab.modifiers & ~masks.pressable) == 0 && contains(held_, grab);
        });
        if (said == said_.end() || !letGo) continue;
        said_.erase(said);
        log::info(hotkeyTakenAfterAllLine(hotkey));
    }
    std::erase_if(held_, [&](const KeyGrab& grab) { return contains(taken, grab); });
    for (const KeyGrab& grab : refused)
        if (!contains(held_, grab)) held_.push_back(grab);
}

bool HeldElsewhere::held(Hotkey hotkey) const {
    return std::any_of(held_.begin(), held_.end(),
                       [&](const KeyGrab& grab) { return grab.hotkey == hotkey; });
}

std::chrono::milliseconds GrabRetries::remapped(Clock::time_point now) {
    rounds_ = 0;
    if (!due_) due_ = now + std::chrono::seconds{1};
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(*due_ - now), std::chrono::milliseconds{0});
}

std::optional<std::chrono::milliseconds> GrabRetries::afterRound(bool sharing) {
    due_.reset();
    if (!sharing) return std::nullopt;
    return grabRetryDelay(rounds_++);
}

}  // namespace tw
