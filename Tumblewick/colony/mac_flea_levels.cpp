#include "Tumblewick/colony/mac_flea_levels.h"

#include <algorithm>

namespace tw::MacFleaLevels {

const std::vector<std::int64_t>& builtInThresholds() {
    static const std::vector<std::int64_t> table = {0,   15,  40,   90,   180,  320,
                                                    520, 780, 1100, 1500, 2000, 2600};
    return table;
}

std::vector<std::int64_t>& thresholds() {
    static std::vector<std::int64_t> table = builtInThresholds();
    return table;
}

std::int64_t level(std::int64_t xp) {
    const auto& t = thresholds();
    std::int64_t result = 1;
    for (std::size_t i = 1; i <= t.size(); ++i) {
        if (t[i - 1] <= xp) result = static_cast<std::int64_t>(i);
    }
    return result;
}

ProgressBounds progressBounds(std::int64_t xp) {
    const auto& t = thresholds();
    if (t.empty()) return ProgressBounds{0, 0};
    const auto n = static_cast<std::int64_t>(t.size());
    const std::int64_t l = level(xp);
    return ProgressBounds{t[static_cast<std::size_t>(std::min(n - 1, l - 1))],
                          t[static_cast<std::size_t>(std::min(n - 1, l))]};
}

}  // namespace tw::MacFleaLevels
