#pragma once
// The stage's view of the app's agent host and custom-flea store: what the app hands
// each stage view. The host and the store must outlive the adapters.
#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_custom_fleas.h"

namespace tw {

class TumblewickAgentHost;
class MacCustomFleaStore;

class AgentHostForStage final : public StageAgentHost {
   public:
    explicit AgentHostForStage(TumblewickAgentHost& host) : host_(host) {}
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

   private:
    TumblewickAgentHost& host_;
};

// The store's list, and XP for every flea.
class CustomFleaStoreForStage final : public StageCustomFleas, public CustomFleaXPSink {
   public:
    explicit CustomFleaStoreForStage(MacCustomFleaStore& store) : store_(store) {}
    const std::vector<MacCustomFlea>& fleas() const override;
    void addXPToAll(std::int64_t amount) override;

   private:
    MacCustomFleaStore& store_;
};

}  // namespace tw
