#include "Tumblewick/stage/stage_shared_tables.h"

#include <optional>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/stage_timing.h"

namespace tw {

bool refreshStageSharedTables(const std::vector<MacCustomFlea>& fleas, double now, double framePeriod) {
    static std::optional<double> lastRefresh;
    if (lastRefresh && now >= *lastRefresh &&
        now - *lastRefresh < framePeriod * StageTiming::sharedTablesRefreshShare) {
        return false;
    }
    lastRefresh = now;
    if (!progressionSpec()) progressionSpec() = loadProgressionSpec();
    macCustomFleaByAct() = performersByAct(fleas);
    return true;
}

}  // namespace tw
