#pragma once
// Runs the Shift+Super hotkeys. One dispatcher serves the whole process, so a hotkey runs
// once per physical press however many stage views are alive.
#include <memory>

#include "Tumblewick/stage/hotkey_actions.h"
#include "platform/hotkeys.h"
#include "platform/input_monitor.h"
#include "platform/main_queue.h"
#include "platform/owner_lifetime.h"

namespace tw {

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
