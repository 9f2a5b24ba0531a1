#pragma once
// A subscriber that keeps every press the monitor delivers, in order.
#include <variant>
#include <vector>

#include "platform/input_monitor.h"

namespace tw::testing {

using Delivery = std::variant<KeyPress, MousePress>;

class InputRecorder final : public InputSubscriber {
   public:
    explicit InputRecorder(InputMonitor& monitor) : subscription(monitor.subscribe(*this)) {}
    bool keyDown(const KeyPress& press) override {
        seen.emplace_back(press);
        return swallow;
    }
    void mouseDown(const MousePress& press) override { seen.emplace_back(press); }

    std::vector<Delivery> seen;
    bool swallow = false;  // what key presses answer
    InputMonitor::Subscription subscription;
};

}  // namespace tw::testing
