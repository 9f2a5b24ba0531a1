#pragma once
// One stage view's share of the desktop's input: every click and every key press but
// the Command keys winds its own energy meter (and through it the custom fleas' XP),
// and clicks go on to the view's click routing.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Tumblewick/stage/energy_system.h"
#include "platform/input_monitor.h"
#include "platform/main_queue.h"
#include "platform/owner_lifetime.h"
#include "platform/x11/mac_key_code_table.h"

namespace tw {

class StageInputRouter final : public InputSubscriber {
   public:
    // Runs after the click has been handled, and never once the router is gone.
    using ClickRoute = std::function<void(const MousePress&)>;

    StageInputRouter(InputMonitor& monitor, EnergySystem& energy, MainQueue& queue, ClickRoute route = {});

    bool keyDown(const KeyPress& press) override;
    void mouseDown(const MousePress& press) override;

   private:
    EnergySystem& energy_;
    MainQueue& queue_;
    ClickRoute route_;
    InputMonitor::Subscription subscription_;
    OwnerLifetime lifetime_;  // last: posted clicks stop before anything else goes
};

// The line a view prints for a key pressed in its own window; none for a modifier
// pressed alone (Super, Shift, Control, Alt and the locks), which is no key press.
std::optional<std::string> keyPressedLine(const TranslatedKey& key);

}  // namespace tw
