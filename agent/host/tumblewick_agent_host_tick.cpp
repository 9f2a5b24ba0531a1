// The half-second tick: world, spotlight, memories, the scheduler's decisions and what
// each decision sets off (stage, log, memories and narrative, XP, dialogue).
#include "agent/host/agent_host_tables.h"
#include "agent/host/tumblewick_agent_host.h"

namespace tw {

void TumblewickAgentHost::tick(Date now) {
    const auto iso = iso8601String(now);
    agentScheduler_.updateWorld(WorldSnapshot::make(
        iso.value_or(currentNowIso()), agent_host::timeOfDay(calendar_.hour(now)), currentEnergyFraction_));

    const auto featured =
        residents[agent_host::periodIndex(now, agent_host::featuredPeriodSeconds, residents.size())].name;

    spotlight_.tick(now, lineFeed_.recentLines());

    agentScheduler_.updateStage(StageState{.player_attention_flea_id = spotlight_.attended(),
                                           .nearby_flea_ids = {std::string(featured)}});

    // Only lists that changed since they were last handed over are copied again.
    for (const auto& resident : residents) memories_.handOver(std::string(resident.name), agentScheduler_);
    for (const Uuid& id : customFleaAgents_.registered())
        memories_.handOver(id.uuidString(), agentScheduler_);

    for (const auto& pending : agentScheduler_.step(now)) {
        const AgentAction action = pending.intent.action;
        stageStateStore_.apply(pending, now);
        decisionLog_->record(pending.flea_id, pending.intent, now);
        memories_.recordDecision(pending.flea_id, action, spotlight_.isAttended(pending.flea_id), now);
        customFleaAgents_.awardXP(pending.flea_id, action, clock_.now());
        generateDialogueIfInteresting(pending, now);
    }
    stageStateStore_.tickFrame(now);
    ++stageRevision_;
}

}  // namespace tw
