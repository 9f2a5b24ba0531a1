#include "Tumblewick/stage/mac_custom_flea_by_act.h"

#include <algorithm>

namespace tw {

std::map<std::string, MacCustomFlea>& macCustomFleaByAct() {
    static std::map<std::string, MacCustomFlea> table;
    return table;
}

std::map<std::string, MacCustomFlea> performersByAct(const std::vector<MacCustomFlea>& fleas) {
    std::vector<const MacCustomFlea*> newestFirst;
    newestFirst.reserve(fleas.size());
    for (const auto& flea : fleas) newestFirst.push_back(&flea);
    std::stable_sort(
        newestFirst.begin(), newestFirst.end(),
        [](const MacCustomFlea* a, const MacCustomFlea* b) { return a->createdAt > b->createdAt; });
    std::map<std::string, MacCustomFlea> table;
    for (const auto* flea : newestFirst) table.try_emplace(flea->discoveredAct, *flea);
    return table;
}

}  // namespace tw
