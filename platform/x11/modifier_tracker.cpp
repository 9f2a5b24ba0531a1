#include "platform/x11/modifier_tracker.h"

#include <algorithm>

namespace tw {

bool ModifierTracker::press(std::uint32_t xKeycode, KeyRole role) {
    return down_.emplace(xKeycode, role).second;
}

void ModifierTracker::release(std::uint32_t xKeycode) { down_.erase(xKeycode); }

int ModifierTracker::count(KeyRole role) const {
    return static_cast<int>(
        std::count_if(down_.begin(), down_.end(), [role](const auto& e) { return e.second == role; }));
}

}  // namespace tw
