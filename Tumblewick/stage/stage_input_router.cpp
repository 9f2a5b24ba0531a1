#include "Tumblewick/stage/stage_input_router.h"

#include <string>

#include "platform/log.h"
#include "platform/number_format.h"

namespace tw {

StageInputRouter::StageInputRouter(InputMonitor& monitor, EnergySystem& energy, MainQueue& queue,
                                   ClickRoute route)
    : energy_(energy), queue_(queue), route_(std::move(route)), subscription_(monitor.subscribe(*this)) {}

bool StageInputRouter::keyDown(const KeyPress& press) {
    if (!press.isCommandKey()) energy_.addKeypress();
    return false;
}

void StageInputRouter::mouseDown(const MousePress& press) {
    const char* where = press.origin == InputOrigin::global ? "Global" : "Local";
    log::plain(std::string("🖱️ ") + where + " click detected at (" + formatDouble(press.location.x) +
               ", " + formatDouble(press.location.y) + ")");
    energy_.addClick();
    if (!route_) return;
    queue_.post(lifetime_.guarded([this, press] { route_(press); }));
}

std::optional<std::string> keyPressedLine(const TranslatedKey& key) {
    if (key.role != KeyRole::ordinary) return std::nullopt;
    return "⌨️ Key pressed: " + std::to_string(key.macKeyCode);
}

}  // namespace tw
