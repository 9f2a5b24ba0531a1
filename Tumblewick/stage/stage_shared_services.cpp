#include "Tumblewick/stage/stage_shared_services.h"

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "agent/host/tumblewick_agent_host.h"

namespace tw {

std::vector<FleaAgentScheduler::DiagnosticEntry> SharedAgentHostForStage::schedulerDiagnostics() const {
    return TumblewickAgentHost::shared().agentScheduler().diagnostics();
}

std::vector<FleaStageState> SharedAgentHostForStage::allStageStates() const {
    return TumblewickAgentHost::shared().stageStateStore().allStates();
}

std::optional<std::string> SharedAgentHostForStage::currentLineForFlea(const std::string& fleaID,
                                                                       Date now) const {
    return TumblewickAgentHost::shared().currentLineForFlea(fleaID, now);
}

bool SharedAgentHostForStage::currentRefusalFlicker(const std::string& fleaID, Date now) const {
    return TumblewickAgentHost::shared().currentRefusalFlicker(fleaID, now);
}

std::optional<std::string> SharedAgentHostForStage::attendedFleaID() const {
    return TumblewickAgentHost::shared().attendedFleaID();
}

std::optional<std::uint64_t> SharedAgentHostForStage::revision() const {
    return TumblewickAgentHost::shared().stageRevision();
}

void SharedAgentHostForStage::setEnergyFraction(double fraction) {
    TumblewickAgentHost::shared().setEnergyFraction(fraction);
}

void SharedAgentHostForStage::attendFlea(const std::optional<std::string>& fleaID) {
    TumblewickAgentHost::shared().attendFlea(fleaID);
}

void SharedAgentHostForStage::noteUserInteraction() { TumblewickAgentHost::shared().noteUserInteraction(); }

FleaStageStateStore::PlayerActionDecision SharedAgentHostForStage::requestPlayerAction(
    const std::string& fleaID, const std::string& actionID, bool overrideRefusal) {
    return TumblewickAgentHost::shared().requestPlayerAction(fleaID, actionID, overrideRefusal);
}

const std::vector<MacCustomFlea>& SharedCustomFleaStoreForStage::fleas() const {
    return MacCustomFleaStore::shared().fleas();
}

void SharedCustomFleaStoreForStage::addXPToAll(std::int64_t amount) {
    MacCustomFleaStore::shared().addXPToAll(amount);
}

}  // namespace tw
