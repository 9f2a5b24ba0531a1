#pragma once
// Which custom flea performs which act on the stage.
#include <map>
#include <string>
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"

namespace tw {

// The process-wide performer table, read by the act painter and rebuilt by the
// stage's frame update. Main thread only.
std::map<std::string, MacCustomFlea>& macCustomFleaByAct();

// Newest createdAt per discoveredAct wins (ties keep the list's order); keys are
// taken as stored, without case folding.
std::map<std::string, MacCustomFlea> performersByAct(const std::vector<MacCustomFlea>& fleas);

}  // namespace tw
