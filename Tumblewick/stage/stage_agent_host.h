#pragma once
// What the stage reads of the agent host and tells it: the current line and refusal
// flicker of each flea, the scheduler's diagnostics, the stage states, the attended
// flea; and the energy, the hovered flea and the player's taps. Main thread only.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/flea_agent_scheduler.h"
#include "agent/flea_stage_state.h"
#include "agent/flea_stage_state_store.h"
#include "platform/date.h"

namespace tw {

class StageAgentHost {
   public:
    virtual ~StageAgentHost() = default;

    // agentScheduler.diagnostics(): one entry per flea, by flea_id.
    virtual std::vector<FleaAgentScheduler::DiagnosticEntry> schedulerDiagnostics() const = 0;
    // stageStateStore.allStates(): by flea_id.
    virtual std::vector<FleaStageState> allStageStates() const = 0;
    // The flea's latest line while it is less than 4 s old.
    virtual std::optional<std::string> currentLineForFlea(const std::string& fleaID, Date now) const = 0;
    virtual bool currentRefusalFlicker(const std::string& fleaID, Date now) const = 0;
    virtual std::optional<std::string> attendedFleaID() const = 0;
    // Changes whenever the diagnostics or the stage states may have; none: unknown, so
    // they are read afresh every frame.
    virtual std::optional<std::uint64_t> revision() const { return std::nullopt; }

    virtual void setEnergyFraction(double fraction) = 0;
    virtual void attendFlea(const std::optional<std::string>& fleaID) = 0;
    virtual void noteUserInteraction() = 0;
    virtual FleaStageStateStore::PlayerActionDecision requestPlayerAction(const std::string& fleaID,
                                                                          const std::string& actionID,
                                                                          bool overrideRefusal) = 0;
};

}  // namespace tw
