#include "Tumblewick/stage/stage_host_adapters.h"

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "agent/host/tumblewick_agent_host.h"

namespace tw {

std::vector<FleaAgentScheduler::DiagnosticEntry> AgentHostForStage::schedulerDiagnostics() const {
    return host_.agentScheduler().diagnostics();
}

std::vector<FleaStageState> AgentHostForStage::allStageStates() const {
    return host_.stageStateStore().allStates();
}

std::optional<std::string> AgentHostForStage::currentLineForFlea(const std::string& fleaID, Date now) const {
    return host_.currentLineForFlea(fleaID, now);
}

bool AgentHostForStage::currentRefusalFlicker(const std::string& fleaID, Date now) const {
    return host_.currentRefusalFlicker(fleaID, now);
}

std::optional<std::string> AgentHostForStage::attendedFleaID() const { return host_.attendedFleaID(); }

std::optional<std::uint64_t> AgentHostForStage::revision() const { return host_.stageRevision(); }

void AgentHostForStage::setEnergyFraction(double fraction) { host_.setEnergyFraction(fraction); }

void AgentHostForStage::attendFlea(const std::optional<std::string>& fleaID) { host_.attendFlea(fleaID); }

void AgentHostForStage::noteUserInteraction() { host_.noteUserInteraction(); }

FleaStageStateStore::PlayerActionDecision AgentHostForStage::requestPlayerAction(const std::string& fleaID,
                                                                                 const std::string& actionID,
                                                                                 bool overrideRefusal) {
    return host_.requestPlayerAction(fleaID, actionID, overrideRefusal);
}

const std::vector<MacCustomFlea>& CustomFleaStoreForStage::fleas() const { return store_.fleas(); }

void CustomFleaStoreForStage::addXPToAll(std::int64_t amount) { store_.addXPToAll(amount); }

}  // namespace tw
