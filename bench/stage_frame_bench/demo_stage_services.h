#pragma once
// A stage's company for the benchmark and the window run: resident fleas with lines,
// moods and an initiative, no custom fleas, XP that goes nowhere.
#include <map>
#include <string>
#include <vector>

#include "Tumblewick/colony/custom_flea_xp_sink.h"
#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_custom_fleas.h"
#include "agent/resident_roster.h"

namespace tw::bench {

class DemoAgentHost final : public StageAgentHost {
   public:
    DemoAgentHost() {
        for (std::size_t i = 0; i < residents.size(); ++i) {
            FleaAgentScheduler::DiagnosticEntry entry;
            entry.flea_id = residents[i].name;
            entry.recent_intent_actions = {"perform_assigned_act"};
            entry.mood = MoodDimensions{0.3 + 0.1 * static_cast<double>(i), 0.2,
                                        0.9 - 0.1 * static_cast<double>(i), 0.5};
            diagnostics_.push_back(entry);
        }
        FleaStageState pip = FleaStageState::make("Pip", "strongman");
        pip.current_action = AgentAction::perform_signature;
        states_ = {pip};
    }
    std::vector<FleaAgentScheduler::DiagnosticEntry> schedulerDiagnostics() const override {
        return diagnostics_;
    }
    std::vector<FleaStageState> allStageStates() const override { return states_; }
    std::optional<std::string> currentLineForFlea(const std::string& id, Date) const override {
        if (id == "Nova") return "The rope hums today, I can feel it in my knees";
        if (id == "Fizz") return "Three balls, <b>no</b> problem";
        return std::nullopt;
    }
    bool currentRefusalFlicker(const std::string& id, Date) const override { return id == "Rex"; }
    std::optional<std::string> attendedFleaID() const override { return attended_; }
    // Moods and states never change here, as between two ticks of the real host.
    std::optional<std::uint64_t> revision() const override { return 1; }
    void setEnergyFraction(double) override {}
    void attendFlea(const std::optional<std::string>& id) override { attended_ = id; }
    void noteUserInteraction() override {}
    FleaStageStateStore::PlayerActionDecision requestPlayerAction(const std::string&, const std::string&,
                                                                  bool) override {
        return FleaStageStateStore::PlayerActionDecision::accepted();
    }

   private:
    std::vector<FleaAgentScheduler::DiagnosticEntry> diagnostics_;
    std::vector<FleaStageState> states_;
    std::optional<std::string> attended_;
};

class NoCustomFleas final : public StageCustomFleas, public CustomFleaXPSink {
   public:
    const std::vector<MacCustomFlea>& fleas() const override { return fleas_; }
    void addXPToAll(std::int64_t) override {}

   private:
    std::vector<MacCustomFlea> fleas_;
};

}  // namespace tw::bench
