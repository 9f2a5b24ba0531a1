#pragma once
// What each flea remembers of its own decisions: the host's short memory of an action
// and whatever the narrative engine forms from it, capped per flea, and which lists the
// scheduler already holds so an unchanged one is not copied to it again.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "agent/agent_records.h"
#include "agent/flea_agent_scheduler.h"
#include "narrative/flea_narrative_engine.h"
#include "narrative/flea_narrative_state.h"
#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/date.h"

namespace tw::agent_host {

class FleaMemories final {
   public:
    static constexpr std::size_t maxPerFlea = 12;

    // The narrative engine's: `clock` must outlive this; its thoughts go to `recordThought`.
    FleaMemories(const Clock& clock, Calendar calendar, AgentThoughtRecorder recordThought)
        : narrativeEngine_(clock, std::move(calendar), std::move(recordThought)) {}

    // The host's own memory of the decision (for actions that leave one), then any
    // memory the narrative engine forms from it.
    void recordDecision(const std::string& fleaID, AgentAction action, bool fleaIsAttended, Date now);
    // Split by position: last 3, the 5 before, older.
    MemoriesByTier byTier(const std::string& fleaID) const;

    // Gives the scheduler the flea's list unless it holds the current one already.
    void handOver(const std::string& fleaID, FleaAgentScheduler& scheduler);
    // The scheduler registered the flea afresh, with no memories.
    void forgetHandOver(const std::string& fleaID) { handedOver_.erase(fleaID); }

   private:
    void append(const std::string& fleaID, AgentMemory memory);

    std::map<std::string, std::vector<AgentMemory>> byFlea_;
    std::set<std::string> handedOver_;  // the scheduler holds their current lists
    FleaNarrativeState narrativeState_;
    FleaNarrativeEngine narrativeEngine_;
};

}  // namespace tw::agent_host
