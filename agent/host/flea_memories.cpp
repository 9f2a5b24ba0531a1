#include "agent/host/flea_memories.h"

#include "agent/host/agent_activity.h"
#include "agent/host/agent_host_tables.h"

namespace tw::agent_host {

void FleaMemories::recordDecision(const std::string& fleaID, AgentAction action, bool fleaIsAttended,
                                  Date now) {
    if (const auto style = hostMemoryStyle(action)) {
        append(fleaID, AgentMemory{.id = Uuid::random().uuidString(),
                                   .tier = AgentMemoryTier::immediate,
                                   .tone = std::string(style->tone),
                                   .tags = {std::string(style->tag)},
                                   .involves_player = fleaIsAttended,
                                   .summary = hostMemorySummary(fleaID, action)});
    }
    const auto shape = narrativeEventShape(action);
    if (!shape) return;
    const TumblewickEventRecord event{.id = Uuid::random(),
                                      .occurredAt = now,
                                      .type = shape->type,
                                      .primaryFlea = FleaReference{.id = std::nullopt, .name = fleaID},
                                      .involvedFleas = {},
                                      .act = std::string(narrativeActOf(fleaID)),
                                      .rawResult = shape->metrics,
                                      .context = hostEventContext(fleaIsAttended),
                                      .fact = ""};
    const FleaNarrativeResult result = narrativeEngine_.process(event, narrativeState_);
    if (result.memory) append(fleaID, agentMemory(*result.memory));
}

MemoriesByTier FleaMemories::byTier(const std::string& fleaID) const {
    const auto it = byFlea_.find(fleaID);
    if (it == byFlea_.end()) return {};
    return memoriesByTier(it->second);
}

void FleaMemories::handOver(const std::string& fleaID, FleaAgentScheduler& scheduler) {
    if (handedOver_.insert(fleaID).second) scheduler.setMemories(byTier(fleaID), fleaID);
}

void FleaMemories::append(const std::string& fleaID, AgentMemory memory) {
    appendCapped(byFlea_[fleaID], std::move(memory), maxPerFlea);
    handedOver_.erase(fleaID);
}

}  // namespace tw::agent_host
