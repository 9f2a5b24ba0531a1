#pragma once
// XP → level, and the bounds of a level's progress bar.
#include <cstdint>
#include <vector>

namespace tw::MacFleaLevels {

// Entry i is the XP at which level i + 1 begins. Starts as the built-in table; the
// progression document may replace it once. Main thread only.
std::vector<std::int64_t>& thresholds();
const std::vector<std::int64_t>& builtInThresholds();

// The largest position whose threshold does not exceed `xp` (the table need not be
// sorted); 1 when there is none or the table is empty.
std::int64_t level(std::int64_t xp);

struct ProgressBounds {
    std::int64_t current = 0;
    std::int64_t next = 0;
    friend bool operator==(const ProgressBounds&, const ProgressBounds&) = default;
};

// (threshold of the flea's level, threshold of the next level); equal at the top level.
// An empty table has no thresholds to offer: (0, 0).
ProgressBounds progressBounds(std::int64_t xp);

}  // namespace tw::MacFleaLevels
