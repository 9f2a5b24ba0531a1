#pragma once
// The Command-Shift hotkeys. One dispatcher serves the whole process, so a hotkey runs
// once per physical press however many stage views are alive.
#include <memory>
#include <optional>

#include "Tumblewick/stage/hotkey_actions.h"
#include "platform/input_monitor.h"
#include "platform/main_queue.h"

namespace tw {

enum class Hotkey { recentThoughts, chapter, watchPanel, shareCard, dragDownLog, dialogueInspector };

// The hotkey of a press: Command and Shift held (other modifiers do not matter) with
// one of the six keys.
std::optional<Hotkey> hotkeyFor(const KeyPress& press);

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
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    InputMonitor::Subscription subscription_;
};

}  // namespace tw
