#pragma once
// X key codes to the macOS virtual key codes the rest of the app speaks. Keys are
// matched by position (the evdev layout every current X server uses), like the
// hardware codes they stand for; whether a key is a modifier comes from its keysym,
// so a remapped keyboard keeps its Super and Shift keys.
#include <cstdint>
#include <optional>

namespace tw {

enum class KeyRole {
    ordinary,       // counts as a key press
    command,        // Super: its own press is not counted, and it makes hotkeys
    shift,          // never a press on its own
    otherModifier,  // Control, Alt, AltGr, locks: never a press on its own
};

struct TranslatedKey {
    std::uint16_t macKeyCode = 0;
    KeyRole role = KeyRole::ordinary;
    friend bool operator==(const TranslatedKey&, const TranslatedKey&) = default;
};

// `keysym` is the key's unshifted keysym, or 0 when it is not known.
TranslatedKey translateXKey(std::uint32_t xKeycode, std::uint32_t keysym);
// The X key code at the position of a macOS key code, where the table has one.
std::optional<std::uint32_t> xKeycodeOfMacKey(std::uint16_t macKeyCode);

}  // namespace tw
