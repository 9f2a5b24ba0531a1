#pragma once
// The Shift+Super hotkeys. One dispatcher serves the whole process, so a hotkey runs
// once per physical press however many stage views are alive.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "Tumblewick/stage/hotkey_actions.h"
#include "platform/input_monitor.h"
#include "platform/main_queue.h"
#include "platform/owner_lifetime.h"

namespace tw {

enum class Hotkey { recentThoughts, chapter, watchPanel, shareCard, dragDownLog, dialogueInspector };

struct HotkeyBinding {
    Hotkey hotkey;
    std::uint16_t keyCode;  // the key's position, as KeyPress reports it
    char letter;            // what its cap says on a US layout
};

// The one table of the hotkeys: what presses them, and what every text that names
// them says.
inline constexpr std::array<HotkeyBinding, 6> hotkeyBindings{{
    {Hotkey::recentThoughts, 17, 'T'},
    {Hotkey::chapter, 2, 'D'},
    {Hotkey::watchPanel, 3, 'F'},
    {Hotkey::shareCard, 1, 'S'},
    {Hotkey::dragDownLog, 37, 'L'},
    {Hotkey::dialogueInspector, 34, 'I'},
}};

// The hotkey of a press: Super and Shift held (other modifiers do not matter) with
// one of the six keys.
std::optional<Hotkey> hotkeyFor(const KeyPress& press);
// How a text names a hotkey's keys: "Shift+Super+L".
std::string hotkeyLabel(Hotkey hotkey);

// Performs a hotkey and prints its console lines, which differ by where the press landed.
void runHotkey(Hotkey hotkey, InputOrigin origin, HotkeyActions& actions);

class HotkeyDispatcher final : public InputSubscriber {
   public:
    HotkeyDispatcher(InputMonitor& monitor, HotkeyActions& actions, MainQueue& queue);

    // Runs the action after the press has been handled, and swallows a local hotkey.
    bool keyDown(const KeyPress& press) override;

   private:
    HotkeyActions& actions_;
    MainQueue& queue_;
    InputMonitor::Subscription subscription_;
    OwnerLifetime lifetime_;  // last: posted hotkeys stop before anything else goes
};

}  // namespace tw
