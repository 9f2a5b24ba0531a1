// The half-second tick: world, spotlight, memories, the scheduler's decisions and what
// each decision sets off (stage, log, memories, narrative, XP, dialogue).
#include "agent/host/agent_host_tables.h"
#include "agent/host/tumblewick_agent_host.h"

namespace tw {

void TumblewickAgentHost::tick(Date now) {
    const auto iso = iso8601String(now);
    agentScheduler_.updateWorld(WorldSnapshot::make(
        iso.value_or(currentNowIso()), agent_host::timeOfDay(calendar_.hour(now)), currentEnergyFraction_));

    const auto featured =
        residents[agent_host::periodIndex(now, agent_host::featuredPeriodSeconds, residents.size())].name;

    const double idle = now.since(lastUserInteractionAt_);
    if (autoSpotlightEnabled() && idle >= autoSpotlightIdleSeconds) {
        const bool resting =
            autoSpotlightActive_ && now.since(autoSpotlightLastRotate_) < autoSpotlightRotateSeconds;
        if (!resting) {
            if (auto pick = pickAutoSpotlightFlea(now)) {
                attendedFleaID_ = std::move(pick);
                autoSpotlightActive_ = true;
                autoSpotlightLastRotate_ = now;
            }
        }
    }

    agentScheduler_.updateStage(
        StageState{.player_attention_flea_id = attendedFleaID_, .nearby_flea_ids = {std::string(featured)}});

    // Only lists that changed since they were last handed over are copied again.
    const auto handOverMemories = [this](const std::string& fleaID) {
        if (memoriesHandedOver_.insert(fleaID).second)
            agentScheduler_.setMemories(memoriesByTier(fleaID), fleaID);
    };
    for (const auto& resident : residents) handOverMemories(std::string(resident.name));
    for (const Uuid& id : registeredCustomFleaIDs_) handOverMemories(id.uuidString());

    for (const auto& pending : agentScheduler_.step(now)) {
        const AgentAction action = pending.intent.action;
        stageStateStore_.apply(pending, now);
        decisionLog_->record(pending.flea_id, pending.intent, now);
        recordMemory(pending.flea_id, action);
        runNarrativeEngine(pending.flea_id, action, now);
        awardCustomFleaXPIfApplicable(pending.flea_id, action);
        generateDialogueIfInteresting(pending, now);
    }
    stageStateStore_.tickFrame(now);
    ++stageRevision_;
}

std::optional<std::string> TumblewickAgentHost::pickAutoSpotlightFlea(Date now) const {
    return agent_host::autoSpotlightPick(recentLines_, attendedFleaID_, now);
}

void TumblewickAgentHost::awardCustomFleaXPIfApplicable(const std::string& fleaID, AgentAction action) {
    const auto id = Uuid::parse(fleaID);
    if (!id) return;
    const auto amount = agent_host::customFleaXP(action);
    if (!amount) return;
    const Date now = clock_.now();
    const auto last = lastCustomXPAwardAt_.find(*id);
    if (last != lastCustomXPAwardAt_.end() && now.since(last->second) < customXPSpacingSeconds) return;
    if (customFleas_) customFleas_->addXP(*amount, *id);
    lastCustomXPAwardAt_[*id] = now;
}

// ---------------------------------------------------------------- memories and the narrative

void TumblewickAgentHost::appendMemory(const std::string& fleaID, AgentMemory memory) {
    agent_host::appendCapped(memoriesByFlea_[fleaID], std::move(memory), maxMemoriesPerFlea);
    memoriesHandedOver_.erase(fleaID);
}

void TumblewickAgentHost::recordMemory(const std::string& fleaID, AgentAction action) {
    const auto style = agent_host::hostMemoryStyle(action);
    if (!style) return;
    appendMemory(fleaID, AgentMemory{.id = Uuid::random().uuidString(),
                                     .tier = AgentMemoryTier::immediate,
                                     .tone = std::string(style->tone),
                                     .tags = {std::string(style->tag)},
                                     .involves_player = isAttended(fleaID),
                                     .summary = agent_host::hostMemorySummary(fleaID, action)});
}

void TumblewickAgentHost::runNarrativeEngine(const std::string& fleaID, AgentAction action, Date now) {
    const auto shape = agent_host::narrativeEventShape(action);
    if (!shape) return;
    const TumblewickEventRecord event{.id = Uuid::random(),
                                      .occurredAt = now,
                                      .type = shape->type,
                                      .primaryFlea = FleaReference{.id = std::nullopt, .name = fleaID},
                                      .involvedFleas = {},
                                      .act = std::string(agent_host::narrativeActOf(fleaID)),
                                      .rawResult = shape->metrics,
                                      .context = agent_host::hostEventContext(isAttended(fleaID)),
                                      .fact = ""};
    const FleaNarrativeResult result = narrativeEngine_.process(event, narrativeState_);
    if (result.memory) appendMemory(fleaID, agent_host::agentMemory(*result.memory));
}

}  // namespace tw
