#include "agent/flea_stage_state_store.h"

#include <algorithm>
#include <utility>

#include "agent/flea_agent_executor.h"

namespace tw {

namespace {
std::int64_t valueOrZero(const std::map<std::string, std::int64_t>& counts, const std::string& key) {
    auto it = counts.find(key);
    return it == counts.end() ? 0 : it->second;
}
}  // namespace

void FleaStageStateStore::registerFlea(const std::string& flea_id, const std::string& assigned_act) {
    states_.try_emplace(flea_id, FleaStageState::make(flea_id, assigned_act));
}

void FleaStageStateStore::unregisterFlea(const std::string& flea_id) { states_.erase(flea_id); }

std::optional<FleaStageState> FleaStageStateStore::state(const std::string& flea_id) const {
    if (auto it = states_.find(flea_id); it != states_.end()) return it->second;
    return std::nullopt;
}

void FleaStageStateStore::apply(const FleaAgentScheduler::PendingTick& pending, Date now) {
    auto it = states_.find(pending.flea_id);
    if (it == states_.end()) return;
    std::optional<AgentPosition> partnerPosition;
    if (pending.intent.target_flea_id) {
        if (auto partner = states_.find(*pending.intent.target_flea_id); partner != states_.end())
            partnerPosition = partner->second.position;
    }
    it->second = FleaAgentExecutor::apply(pending.intent, it->second, now, partnerPosition);
}

void FleaStageStateStore::tickFrame(Date now) {
    // Same as storing clearIfExpired(state, now), without copying the states that stay.
    for (auto& [id, state] : states_)
        if (FleaAgentExecutor::intentExpired(state, now))
            state = FleaStageState::make(std::move(state.flea_id), std::move(state.assigned_act));
}

std::vector<FleaStageState> FleaStageStateStore::allStates() const {
    std::vector<FleaStageState> all;
    all.reserve(states_.size());
    for (const auto& [id, state] : states_) all.push_back(state);
    return all;
}

bool FleaStageStateStore::shouldBlockPlayerAction(const std::string& flea_id, Date now) {
    const std::int64_t attempts = ++playerActionsByFleaID_[flea_id];
    auto it = states_.find(flea_id);
    if (it == states_.end()) return false;
    const FleaStageState& state = it->second;
    if (state.current_action != AgentAction::refuse) return false;
    if (!state.cooldown_until || now >= *state.cooldown_until) return false;
    const std::int64_t served = valueOrZero(refusalsServedByFleaID_, flea_id);
    if (attempts >= requestsPerRefusal * (served + 1)) {
        refusalsServedByFleaID_[flea_id] = served + 1;
        return true;
    }
    return false;
}

FleaStageStateStore::PlayerActionDecision FleaStageStateStore::requestPlayerAction(
    const std::string& flea_id, const std::string& actionID, bool overrideRefusal, Date now) {
    if (overrideRefusal) {
        refusalsServedByFleaID_[flea_id] =
            std::max<std::int64_t>(valueOrZero(refusalsServedByFleaID_, flea_id) - 1, 0);
        ++overrideCountByFleaID_[flea_id];
        return PlayerActionDecision::acceptedViaOverride();
    }
    if (shouldBlockPlayerAction(flea_id, now)) {
        telemetry_.track("flea_agent_refusal",
                         TelemetryProperties{{"flea_id", flea_id}, {"action_id", actionID}});
        return PlayerActionDecision::refused(refusalReason);
    }
    return PlayerActionDecision::accepted();
}

void FleaStageStateStore::resetRefusalCounters() {
    playerActionsByFleaID_.clear();
    refusalsServedByFleaID_.clear();
}

FleaStageStateStore::PlayerActionStats FleaStageStateStore::playerActionStats(
    const std::string& flea_id) const {
    return {valueOrZero(playerActionsByFleaID_, flea_id), valueOrZero(refusalsServedByFleaID_, flea_id),
            valueOrZero(overrideCountByFleaID_, flea_id)};
}

}  // namespace tw
