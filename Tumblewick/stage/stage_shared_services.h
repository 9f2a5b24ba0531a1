#pragma once
// The stage's view of the process-wide agent host and custom-flea store: what the app
// hands each stage view. Both must have been created (or installed) before use.
#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_custom_fleas.h"

namespace tw {

// Forwards to TumblewickAgentHost::shared().
class SharedAgentHostForStage final : public StageAgentHost {
   public:
    std::vector<FleaAgentScheduler::DiagnosticEntry> schedulerDiagnostics() const override;
    std::vector<FleaStageState> allStageStates() const override;
    std::optional<std::string> currentLineForFlea(const std::string& fleaID, Date now) const override;
    bool currentRefusalFlicker(const std::string& fleaID, Date now) const override;
    std::optional<std::string> attendedFleaID() const override;
    std::optional<std::uint64_t> revision() const override;
    void setEnergyFraction(double fraction) override;
    void attendFlea(const std::optional<std::string>& fleaID) override;
    void noteUserInteraction() override;
    FleaStageStateStore::PlayerActionDecision requestPlayerAction(const std::string& fleaID,
                                                                  const std::string& actionID,
                                                                  bool overrideRefusal) override;
};

// Forwards to MacCustomFleaStore::shared(): its list, and XP for every flea.
class SharedCustomFleaStoreForStage final : public StageCustomFleas, public CustomFleaXPSink {
   public:
    const std::vector<MacCustomFlea>& fleas() const override;
    void addXPToAll(std::int64_t amount) override;
};

}  // namespace tw
