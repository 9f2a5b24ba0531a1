#pragma once
// Stand-ins for what a stage works with: an agent host that records what it is told,
// a screen whose mouse and window the test moves, and a custom-flea list.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tumblewick/stage/stage_agent_host.h"
#include "Tumblewick/stage/stage_custom_fleas.h"
#include "Tumblewick/stage/stage_screen.h"
#include "Tumblewick/stage/tumblewick_stage.h"
#include "Tumblewick/stage/update_checker.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "stage_test_support.h"

namespace tw::testing {

class FakeStageAgentHost final : public StageAgentHost {
   public:
    std::vector<FleaAgentScheduler::DiagnosticEntry> diagnostics;
    std::vector<FleaStageState> states;
    std::map<std::string, std::string> lines;  // shown whatever the time
    std::vector<std::string> refusing;
    std::optional<std::string> attended;
    std::optional<std::uint64_t> revisionValue;  // none: read afresh every frame

    std::vector<double> energyFractions;
    std::vector<std::optional<std::string>> attendCalls;
    int interactions = 0;
    struct Request {
        std::string fleaID, actionID;
        bool overrideRefusal;
        friend bool operator==(const Request&, const Request&) = default;
    };
    std::vector<Request> requests;

    std::vector<FleaAgentScheduler::DiagnosticEntry> schedulerDiagnostics() const override {
        return diagnostics;
    }
    std::vector<FleaStageState> allStageStates() const override { return states; }
    std::optional<std::string> currentLineForFlea(const std::string& id, Date) const override {
        const auto it = lines.find(id);
        if (it == lines.end()) return std::nullopt;
        return it->second;
    }
    bool currentRefusalFlicker(const std::string& id, Date) const override {
        return std::find(refusing.begin(), refusing.end(), id) != refusing.end();
    }
    std::optional<std::string> attendedFleaID() const override { return attended; }
    std::optional<std::uint64_t> revision() const override { return revisionValue; }
    void setEnergyFraction(double f) override { energyFractions.push_back(f); }
    void attendFlea(const std::optional<std::string>& id) override { attendCalls.push_back(id); }
    void noteUserInteraction() override { ++interactions; }
    FleaStageStateStore::PlayerActionDecision requestPlayerAction(const std::string& id,
                                                                  const std::string& action,
                                                                  bool overrideRefusal) override {
        requests.push_back({id, action, overrideRefusal});
        return FleaStageStateStore::PlayerActionDecision::accepted();
    }
};

class FakeStageScreen final : public StageScreen {
   public:
    Point mouse{0, 0};
    std::optional<double> screenHeight = 1080;
    std::optional<Rect> window = Rect{0, 0, 1920, 150};
    Point globalMouseLocation() const override { return mouse; }
    std::optional<double> mainScreenHeight() const override { return screenHeight; }
    std::optional<Rect> windowFrame() const override { return window; }
};

class FakeCustomFleas final : public StageCustomFleas {
   public:
    std::vector<MacCustomFlea> list;
    const std::vector<MacCustomFlea>& fleas() const override { return list; }
};

class FakeUpdateChecker final : public UpdateChecker {
   public:
    std::vector<std::function<void(const std::string&)>> pending;
    void checkForUpdates(std::function<void(const std::string&)> callback) override {
        pending.push_back(std::move(callback));
    }
};

// One stage with all its fakes, 1920 × 150 at scale 1 and 60 frames per second.
struct StageRig {
    explicit StageRig(Size size = {1920, 150}, int fps = 60, double scale = 1.0, std::uint64_t seed = 7)
        : random(seed) {
        stage = std::make_unique<TumblewickStage>(
            size, StageServices{clock, queue, defaults, host, fleas, xp, screen, &updates, &random}, fps,
            scale);
    }
    // Advances the clock and runs one frame-loop tick.
    bool tick(double seconds) {
        clock.advance(seconds);
        return stage->update();
    }

    ManualClock clock;
    ManualMainQueue queue;
    InMemoryDefaults defaults;
    FakeStageAgentHost host;
    FakeStageScreen screen;
    FakeCustomFleas fleas;
    RecordingXPSink xp;
    FakeUpdateChecker updates;
    SeededRandomSource random;
    std::unique_ptr<TumblewickStage> stage;
};

}  // namespace tw::testing
