#pragma once
// The process-wide tables every stage view reads while painting: the progression
// document cache and the performer of each act (macCustomFleaByAct). Each view asks for
// a refresh on every processed frame; the first asker in each frame period rebuilds and
// the others within the same period reuse that, so two views never rebuild twice per
// frame. Main thread only.
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"

namespace tw {

// Returns whether this call rebuilt the tables. `now` is media time in seconds; a clock
// that went backwards (another test, another clock) always rebuilds.
bool refreshStageSharedTables(const std::vector<MacCustomFlea>& fleas, double now, double framePeriod);

}  // namespace tw
