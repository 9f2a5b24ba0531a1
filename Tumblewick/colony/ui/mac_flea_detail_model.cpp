#include "Tumblewick/colony/ui/mac_flea_detail_model.h"

#include <algorithm>

#include "Tumblewick/colony/mac_flea_levels.h"

namespace tw {

const MacCustomFlea& currentFlea(const std::vector<MacCustomFlea>& fleas, const MacCustomFlea& flea) {
    const auto found =
        std::find_if(fleas.begin(), fleas.end(), [&](const auto& each) { return each.id == flea.id; });
    return found == fleas.end() ? flea : *found;
}

const ProgressionSpec::ActSpec* actSpecFor(const ProgressionSpec& spec, const std::string& actKey) {
    const auto found = spec.acts.find(actKey);
    return found == spec.acts.end() ? nullptr : &found->second;
}

std::string colonyRowActLabel(const ProgressionSpec& spec, const MacCustomFlea& flea) {
    const auto* act = actSpecFor(spec, flea.discoveredAct);
    return act != nullptr ? act->callingName : flea.discoveredAct;
}

std::string levelBadgeText(std::int64_t xp) { return "Lv " + std::to_string(MacFleaLevels::level(xp)); }

LevelBar levelBarFor(std::int64_t xp) {
    LevelBar bar;
    bar.level = MacFleaLevels::level(xp);
    bar.levelText = "Level " + std::to_string(bar.level);
    bar.xpText = std::to_string(xp) + " XP";
    const auto bounds = MacFleaLevels::progressBounds(xp);
    // In doubles from the start: differences of extreme counts would overflow int64.
    const double span = std::max(1.0, static_cast<double>(bounds.next) - static_cast<double>(bounds.current));
    const double into = static_cast<double>(xp) - static_cast<double>(bounds.current);
    bar.fraction = std::clamp(into / span, 0.0, 1.0);
    return bar;
}

std::string practiceButtonTitle(std::string_view name) {
    return "Practice with " + std::string(name) + "  (+" + std::to_string(practiceXP) + " XP)";
}

}  // namespace tw
