#include "agent/host/custom_flea_agents.h"

#include "agent/host/agent_host_tables.h"

namespace tw::agent_host {

CustomFleaAgents::Changes CustomFleaAgents::reconcile() {
    Changes changes;
    const std::vector<RosterFlea> fleas = roster_ ? roster_->customFleas() : std::vector<RosterFlea>{};
    std::set<Uuid> current;
    for (const auto& flea : fleas) {
        current.insert(flea.id);
        if (registered_.insert(flea.id).second) changes.added.push_back(flea);
    }
    for (auto it = registered_.begin(); it != registered_.end();) {
        if (current.count(*it)) {
            ++it;
            continue;
        }
        changes.removed.push_back(*it);
        it = registered_.erase(it);
    }
    return changes;
}

void CustomFleaAgents::awardXP(const std::string& fleaID, AgentAction action, Date now) {
    const auto id = Uuid::parse(fleaID);
    if (!id) return;
    const auto amount = customFleaXP(action);
    if (!amount) return;
    const auto last = lastXPAwardAt_.find(*id);
    if (last != lastXPAwardAt_.end() && now.since(last->second) < xpSpacingSeconds) return;
    if (roster_) roster_->addXP(*amount, *id);
    lastXPAwardAt_[*id] = now;
}

}  // namespace tw::agent_host
