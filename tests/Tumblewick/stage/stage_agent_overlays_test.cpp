// Where the stage meets the agents: anchors, hover and click routing, the console
// summary, and the overlays' geometry on the recording canvas.
#include "Tumblewick/stage/stage_agent_overlays.h"

#include <gtest/gtest.h>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/stage/colors.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/stage_painter.h"
#include "agent/host/tumblewick_settings_panel.h"
#include "platform/settings_keys.h"
#include "stage_fakes.h"

namespace tw {
namespace {

using testing::StageRig;

class StageAgentOverlaysTest : public ::testing::Test {
   protected:
    void SetUp() override { progressionSpec() = ProgressionSpec{}; }
    void TearDown() override {
        progressionSpec().reset();
        macCustomFleaByAct().clear();
    }
};

// With W = 900 one act unit is 100 points: anchors at 80, 190, 345, 440, 540, 650, 830.
TEST_F(StageAgentOverlaysTest, ClicksReachTheNearestResidentWithinReach) {
    struct Case {
        double mouseX;
        double mouseY;
        bool shift;
        std::optional<std::string> routedTo;
    };
    const Case cases[] = {
        {80, 100, false, "Nova"},
        {80 - 119.9, 100, false, "Nova"},
        {80 - 120, 100, false, std::nullopt},  // exactly 120 away
        {830 + 119.9, 100, true, "Blaze"},
        {(440 + 540) / 2.0, 100, false, "Pip"},  // a tie goes to the earlier resident
        {80, 100 + 150.5, false, std::nullopt},  // above the window
        {80, 100, false, "Nova"},                // the band's edge counts as inside
    };
    for (const auto& c : cases) {
        StageRig rig({900, 150});
        rig.screen.window = Rect{0, 100, 900, 150};
        rig.screen.mouse = {c.mouseX, c.mouseY};
        rig.stage->routeClickThroughAgent(c.shift);
        if (!c.routedTo) {
            EXPECT_TRUE(rig.host.requests.empty()) << c.mouseX;
            EXPECT_EQ(rig.host.interactions, 0);
            continue;
        }
        ASSERT_EQ(rig.host.requests.size(), 1u) << c.mouseX;
        EXPECT_EQ(rig.host.requests[0], (testing::FakeStageAgentHost::Request{*c.routedTo, "tap", c.shift}));
        EXPECT_EQ(rig.host.interactions, 1);
    }
    StageRig windowless({900, 150});
    windowless.screen.window.reset();
    windowless.stage->routeClickThroughAgent(false);
    EXPECT_TRUE(windowless.host.requests.empty());
}

TEST_F(StageAgentOverlaysTest, HoverAttendsOnEveryLiveFrame) {
    StageRig rig({900, 150});
    rig.screen.window = Rect{50, 0, 900, 150};  // the local x is the mouse's minus 50
    rig.screen.mouse = {50 + 440 + 10, 20};
    rig.tick(0.02);
    rig.screen.mouse = {50 + 440, 151};
    rig.tick(0.02);
    rig.screen.mouse = {50 + 440 + 10, 20};
    rig.stage->deterministicMode = true;  // the timeline's frames leave the host alone
    rig.tick(0.02);
    rig.stage->deterministicMode = false;
    rig.screen.screenHeight.reset();
    rig.tick(0.02);
    EXPECT_EQ(rig.host.attendCalls, (std::vector<std::optional<std::string>>{"Pip", std::nullopt}));
}

TEST_F(StageAgentOverlaysTest, DiagnosticsLineAndBubbleText) {
    auto entry = [](std::string id, std::vector<std::string> recent) {
        FleaAgentScheduler::DiagnosticEntry e;
        e.flea_id = std::move(id);
        e.recent_intent_actions = std::move(recent);
        return e;
    };
    std::vector<FleaAgentScheduler::DiagnosticEntry> quiet(7);
    EXPECT_EQ(agentDiagnosticsLine(quiet, "Pip"), "🪄 Agent: 7 fleas registered, no ticks yet");
    std::vector<FleaAgentScheduler::DiagnosticEntry> busy;
    for (char c = 'a'; c < 'k'; ++c) busy.push_back(entry(std::string(1, c), {"sit", "wander_to"}));
    busy.insert(busy.begin() + 1, entry("idle", {}));
    EXPECT_EQ(agentDiagnosticsLine(busy, "Dot"),
              "🪄 Agent · ✨ Dot: a:wander_to  b:wander_to  c:wander_to  d:wander_to  e:wander_to  "
              "f:wander_to  "
              "g:wander_to");
    EXPECT_EQ(agentDiagnosticsLine({entry("Rex", {"sit"})}, std::nullopt), "🪄 Agent: Rex:sit");

    const std::string thirtySix(36, 'x');
    EXPECT_EQ(agentBubbleText(thirtySix), thirtySix);
    EXPECT_EQ(agentBubbleText(thirtySix + "y"), std::string(34, 'x') + "…");
    EXPECT_EQ(agentBubbleText(std::string(40, 'a') + "🎪"), std::string(34, 'a') + "…");
}

TEST_F(StageAgentOverlaysTest, OverlaysDrawForResidentsOnlyAndHonourTheSettings) {
    StageRig rig({900, 150});
    auto& host = rig.host;
    host.lines = {{"Nova", "hello"}, {"3F2504E0-4F89-11D3-9A0C-0305E82C3301", "custom"}};
    host.refusing = {"Rex"};
    FleaStageState signature = FleaStageState::make("Pip", "strongman");
    signature.current_action = AgentAction::perform_signature;
    FleaStageState refuse = FleaStageState::make("Dot", "unicycle");
    refuse.current_action = AgentAction::refuse;
    FleaStageState custom = FleaStageState::make("3F2504E0-4F89-11D3-9A0C-0305E82C3301", "cannon");
    custom.current_action = AgentAction::attempt_bit;
    host.states = {signature, refuse, custom};
    FleaAgentScheduler::DiagnosticEntry mood;
    mood.flea_id = "Zing";
    mood.mood = MoodDimensions{1.2, -0.1, 0.5, 0};  // confidence, nerves, joy, pride
    host.diagnostics = {mood};

    auto texts = [&]() {
        RecordingCanvas canvas;
        paintStage(canvas, *rig.stage, Date{0}, 0);
        std::vector<RecordedOp> found;
        for (const auto& op : canvas.ops()) {
            if (op.kind == RecordedOp::Kind::text && op.text != "~ TUMBLEWICK ~") found.push_back(op);
        }
        return std::pair{found, canvas.ops()};
    };
    auto [shown, ops] = texts();
    ASSERT_EQ(shown.size(), 3u);
    const double anchorY = rig.stage->groundY - 60;
    // The bubble: 0.6 em per character at 11 points, centred on Nova's anchor (80).
    const double tw = 5 * 0.6 * 11;
    const double th = 1.2 * 11;
    EXPECT_EQ(shown[0].text, "hello");
    testing::expectPoint(shown[0].point, {80 - (tw + 16) / 2 + 8, anchorY - (th + 8) / 2 + 4});
    EXPECT_EQ(shown[0].textStyle.font, (Font{FontFamily::system, 11, FontWeight::medium}));
    EXPECT_EQ(shown[1].text, "✨");
    testing::expectPoint(shown[1].point, {440 - 60, anchorY - 8});
    EXPECT_EQ(shown[2].text, "🤲 not now");
    testing::expectPoint(shown[2].point, {345 + 60 + 6, anchorY - th / 2 - 3 + 3});

    // Mood bars: four tracks and the levels of 1.2 (full) and 0.5 (half); 0 and −0.1 none.
    std::vector<Rect> bars;
    for (const auto& op : ops) {
        if (op.kind != RecordedOp::Kind::fillPath || op.path.elements().size() != 6) continue;
        const auto& first = op.path.elements()[0].points[0];
        if (first.y < anchorY + 24 - 1e-9 || first.y > anchorY + 40 + 1e-9) continue;
        const auto& arc = op.path.elements()[1];
        bars.push_back(Rect{first.x - 2, first.y, arc.points[0].x + 2 - (first.x - 2), 0});
        bars.back().height = op.path.elements()[2].points[0].y + 2 - first.y;
    }
    ASSERT_EQ(bars.size(), 6u);
    const double x0 = 190 - 22;
    testing::expectRect(bars[0], {x0, anchorY + 24, 6, 16});
    testing::expectRect(bars[1], {x0, anchorY + 24, 6, 16});
    testing::expectRect(bars[3], {x0 + 12, anchorY + 24 + 8, 6, 8});

    // The settings switch bubbles and bars off; the marks and pills stay.
    TumblewickSettingsPanel::setBool(rig.defaults, false, settings::showThoughts.key);
    TumblewickSettingsPanel::setBool(rig.defaults, false, settings::showMoodBars.key);
    auto [without, opsWithout] = texts();
    ASSERT_EQ(without.size(), 2u);
    EXPECT_EQ(without[0].text, "✨");
    EXPECT_LT(opsWithout.size(), ops.size() - 6);
}

// Mood bars and initiative marks are read from the host once per revision: a frame
// between two host changes draws what the last read gave, a new revision reads again.
TEST_F(StageAgentOverlaysTest, OverlaysAreReadOncePerHostRevision) {
    StageRig rig({900, 150});
    auto& host = rig.host;
    FleaAgentScheduler::DiagnosticEntry mood;
    mood.flea_id = "Zing";
    mood.mood = MoodDimensions{1, 0, 1, 1};
    FleaStageState signature = FleaStageState::make("Pip", "strongman");
    signature.current_action = AgentAction::perform_signature;
    const auto shown = [&] {
        RecordingCanvas canvas;
        paintStage(canvas, *rig.stage, Date{0}, 0);
        int fills = 0;
        int marks = 0;
        for (const auto& op : canvas.ops()) {
            fills += op.kind == RecordedOp::Kind::fillPath;
            marks += op.kind == RecordedOp::Kind::text && op.text == "✨";
        }
        return std::pair{fills, marks};
    };
    const auto none = shown();
    host.revisionValue = 1;
    host.diagnostics = {mood};
    host.states = {signature};
    const auto some = shown();
    EXPECT_EQ(some.second, 1);
    EXPECT_GT(some.first, none.first);
    host.diagnostics.clear();
    host.states.clear();
    EXPECT_EQ(shown(), some);  // the host has not changed
    host.revisionValue = 2;
    EXPECT_EQ(shown(), none);
}

TEST_F(StageAgentOverlaysTest, SparkleStormGrowsWithEnergyAboveThreeQuarters) {
    struct Case {
        double energy;
        std::size_t sparkles;
        double maxAlpha;
    };
    const Case cases[] = {
        {0.76, 25, 0.04 * 0.8 + 1e-9}, {0.875, 42, 0.5 * 0.8 + 1e-9}, {1.0, 60, 0.8 + 1e-9}};
    for (const auto& c : cases) {
        RecordingCanvas canvas;
        drawEnergySparkleStorm(canvas, {1000, 150}, c.energy, Date{12345.6});
        const auto ops = canvas.drawingOps();
        ASSERT_EQ(ops.size(), c.sparkles) << c.energy;
        for (const auto& op : ops) {
            EXPECT_EQ(op.kind, RecordedOp::Kind::fillEllipse);
            EXPECT_LE(op.color.alpha, c.maxAlpha);
            EXPECT_DOUBLE_EQ(op.rect.width, 2.5);
            EXPECT_GE(op.rect.x, -1 - 24);
            EXPECT_LE(op.rect.y, 0.85 * 150 + 6);
        }
    }
}

}  // namespace
}  // namespace tw
