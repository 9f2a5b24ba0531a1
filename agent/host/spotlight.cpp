#include "agent/host/spotlight.h"

#include "platform/settings_keys.h"

namespace tw::agent_host {

void Spotlight::attend(std::optional<std::string> fleaID, Date now) {
    attended_ = std::move(fleaID);
    noteUserInteraction(now);
}

void Spotlight::noteUserInteraction(Date now) {
    lastUserInteractionAt_ = now;
    autoActive_ = false;
}

bool Spotlight::enabled() {
    if (!enabled_) {
        const auto stored = defaults_.object(settings::autoSpotlight.key);
        const bool* flag = stored ? std::get_if<bool>(&*stored) : nullptr;
        enabled_ = flag ? *flag : settings::autoSpotlight.fallback;
    }
    return *enabled_;
}

void Spotlight::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled && autoActive_) {
        attended_.reset();
        autoActive_ = false;
    }
}

void Spotlight::tick(Date now, const std::vector<RecentLine>& lines) {
    const bool idle = now.since(lastUserInteractionAt_) >= autoIdleSeconds;  // false for NaN
    if (!enabled() || !idle) return;
    if (autoActive_ && now.since(autoLastRotateAt_) < autoRotateSeconds) return;
    attended_ = autoSpotlightPick(lines, attended_, now);
    autoActive_ = true;
    autoLastRotateAt_ = now;
}

}  // namespace tw::agent_host
