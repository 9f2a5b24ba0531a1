// The stage's frame loop in virtual time: the throttle and dt rules, the reactions to
// clicks and key presses, the seeded timeline, the update check and the shared tables.
#include "Tumblewick/stage/tumblewick_stage.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Tumblewick/colony/progression_loader.h"
#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/stage/act_layout.h"
#include "Tumblewick/stage/mac_custom_flea_by_act.h"
#include "Tumblewick/stage/stage_shared_tables.h"
#include "platform/log.h"
#include "platform/settings_keys.h"
#include "stage_fakes.h"

namespace tw {
namespace {

using testing::StageRig;

class QuietLog : public ::testing::Test {
   protected:
    void SetUp() override {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
        progressionSpec() = ProgressionSpec{};  // keeps the frame from reading the document
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        progressionSpec().reset();
        macCustomFleaByAct().clear();
    }
    std::vector<std::string> lines;
};

using TumblewickStageTest = QuietLog;

TEST_F(TumblewickStageTest, ConstructionLaysOutActsGearsAndStarsFromTheFrame) {
    StageRig rig({900, 150}, 60, 1.5);
    const auto& s = *rig.stage;
    EXPECT_DOUBLE_EQ(s.groundY, 150 - 22.5);
    // Each act where the act table puts it on this strip.
    const std::vector<double> xs = {s.tightrope.x, s.trapeze.x,  s.cannon.x,      s.strongman.x,
                                    s.unicycle.x,  s.juggling.x, s.firebreather.x};
    for (std::size_t i = 0; i < xs.size(); ++i)
        EXPECT_NEAR(xs[i], actSpan(static_cast<ActSlot>(i), 900).x, 1e-9) << actPlaces[i].act;
    const std::vector<double> widths = {s.tightrope.width, s.trapeze.width, s.cannon.width,
                                        s.firebreather.width};
    const std::vector<ActSlot> spanning = {ActSlot::tightrope, ActSlot::trapeze, ActSlot::cannon,
                                           ActSlot::firebreather};
    for (std::size_t i = 0; i < widths.size(); ++i)
        EXPECT_NEAR(widths[i], actSpan(spanning[i], 900).width, 1e-9) << i;
    ASSERT_EQ(s.gears.size(), 4u);
    EXPECT_EQ(s.gears[1], (Gear{900 - 45, 75, 27, 8}));
    EXPECT_EQ(s.gears[3], (Gear{900 - 90, 120, 18, 6}));
    ASSERT_EQ(s.ambientStars.size(), 15u);
    for (const auto& star : s.ambientStars) {
        EXPECT_TRUE(star.x >= 0 && star.x <= 1 && star.y >= 0 && star.y <= 0.6 && star.phase >= 0);
    }
    EXPECT_TRUE(s.audienceGroups.empty());
}

// The acts stand left to right on the strip, and none reaches into the next one's
// place or off the strip's end.
TEST(ActLayoutTest, ActsStandInOrderWithoutOverlappingInsideTheStrip) {
    for (const double width : {800.0, 1366.0, 1920.0}) {
        double end = 0;
        for (std::size_t i = 0; i < actPlaces.size(); ++i) {
            const ActSpan span = actSpan(static_cast<ActSlot>(i), width);
            EXPECT_GE(span.x, end) << actPlaces[i].act << " at " << width;
            end = span.x + span.width;
            EXPECT_EQ(actSpan(actPlaces[i].act, width)->x, span.x);
        }
        EXPECT_LT(end, width);
    }
    EXPECT_FALSE(actSpan("lion", 1920).has_value());
}

TEST_F(TumblewickStageTest, ThrottleAndFrameTimeRules) {
    struct Step {
        double advance;
        bool deterministic;
        bool processed;
        double dt;  // seen through a star's phase (1.2 × dt)
    };
    const std::vector<Step> steps = {
        {0.010, false, false, 0},                                // early tick: nothing happens
        {0.010, false, true, 0.020},                             // the next frame covers both intervals
        {0.017, false, true, 0.017},   {5.0, false, true, 0.1},  // a stall advances by 0.1 only
        {0.001, true, true, 1.0 / 60},                           // deterministic: every tick, fixed step
        {0.5, true, true, 1.0 / 60},
    };
    StageRig rig;
    auto& s = *rig.stage;
    for (const auto& step : steps) {
        s.deterministicMode = step.deterministic;
        const double phase = s.ambientStars[0].phase;
        const auto frames = s.frameCount;
        EXPECT_EQ(rig.tick(step.advance), step.processed);
        EXPECT_EQ(s.frameCount, frames + (step.processed ? 1 : 0));
        EXPECT_NEAR(s.ambientStars[0].phase - phase, 1.2 * step.dt, 1e-6) << step.advance;
    }
}

TEST_F(TumblewickStageTest, LiveFramesWindTheMeterAndReactOncePerFrame) {
    StageRig rig;
    auto& s = *rig.stage;
    rig.tick(0.02);  // first frame lays out the audience
    ASSERT_EQ(s.audienceGroups.size(), 3u);
    EXPECT_EQ(s.audienceGroups[1].fleas.size(), 6u);
    EXPECT_DOUBLE_EQ(s.audienceGroups[2].fleas[1].x, 0.76 * 1920 + 9);
    EXPECT_DOUBLE_EQ(s.audienceGroups[0].fleas[0].y, s.groundY - 4);

    // Two clicks and three key presses before one frame: one burst, one key reaction of 3.
    s.energy.addClick();
    s.energy.addClick();
    for (int i = 0; i < 3; ++i) s.energy.addKeypress();
    const auto particlesBefore = s.particles.particles.size();
    rig.tick(0.02);
    EXPECT_EQ(s.shockwaves.size(), 2u);
    EXPECT_GE(s.floaters.size(), 2u);
    EXPECT_LE(s.floaters.size(), 3u);
    EXPECT_GE(s.particles.particles.size(), particlesBefore + 60 + 15);  // burst, confetti, 3 × 5 sparkles
    EXPECT_DOUBLE_EQ(s.groundFlash, 0.88);
    EXPECT_DOUBLE_EQ(s.bannerGlow, 0.92);
    EXPECT_EQ(s.energy.newKeys, 0);
    EXPECT_FALSE(s.energy.clicked);
    EXPECT_EQ(rig.xp.awards, (std::vector<std::int64_t>{2, 2, 1, 1, 1}));
    ASSERT_FALSE(rig.host.energyFractions.empty());
    EXPECT_DOUBLE_EQ(rig.host.energyFractions.back(), s.energy.normalized());

    // In deterministic mode the flags reach the meter but the stage does not react.
    s.configureDeterministicMode(true, 5, true);
    s.energy.addClick();
    const auto fractions = rig.host.energyFractions.size();
    rig.tick(0.02);
    EXPECT_EQ(s.shockwaves.size(), 2u);
    EXPECT_FALSE(s.energy.clicked);
    EXPECT_EQ(rig.host.energyFractions.size(), fractions);  // the host is not told
}

TEST_F(TumblewickStageTest, KeyReactionJoltsGearsAndRaisesTheFlashes) {
    StageRig rig;
    auto& s = *rig.stage;
    s.groundFlash = 0.9;
    s.onKeystrokes(3);
    for (const auto& gear : s.gears) {
        EXPECT_NEAR(gear.angle, 13.5, 1e-9);
        EXPECT_NEAR(gear.jolt, 4.5, 1e-9);
    }
    EXPECT_EQ(s.particles.particles.size(), 15u);
    EXPECT_DOUBLE_EQ(s.groundFlash, 0.9);
    EXPECT_DOUBLE_EQ(s.bannerGlow, 0.3);
    s.groundFlash = 0;
    s.onKeystrokes(0);
    EXPECT_DOUBLE_EQ(s.groundFlash, 0.4);
}

TEST_F(TumblewickStageTest, ClickBurstAndStatusMessage) {
    StageRig rig;
    auto& s = *rig.stage;
    s.onClick();
    ASSERT_EQ(s.shockwaves.size(), 2u);
    EXPECT_EQ(s.shockwaves[0], (Shockwave{s.shockwaves[0].x, s.groundY * 0.6, 5, 180, 300, true}));
    EXPECT_EQ(s.shockwaves[1].maxRadius, 120);
    EXPECT_GE(s.shockwaves[0].x, 0.2 * 1920);
    EXPECT_LE(s.shockwaves[0].x, 0.8 * 1920);
    EXPECT_EQ(s.particles.particles.size(), 60u);
    EXPECT_EQ(s.groundFlash, 1);
    EXPECT_EQ(s.cannon.state, "fly");
    for (const auto& gear : s.gears) EXPECT_NEAR(gear.angle, 22.5, 1e-9);
    const std::vector<std::string> words = {"BANG!", "POW!", "SNAP!", "WHEE!", "BOOM!", "CRACK!"};
    for (const auto& floater : s.floaters) {
        EXPECT_NE(std::find(words.begin(), words.end(), floater.text), words.end());
        EXPECT_EQ(floater.life, 1.5);
        EXPECT_EQ(floater.maxLife, 1.2);
    }
    EXPECT_EQ(lines.front(), "🎪 CLICK detected! Creating explosion...");
    EXPECT_EQ(lines[1], "💥 Particles created: 60 (total: 60)");
    EXPECT_EQ(lines[2].rfind("📝 Text spawned: '", 0), 0u);

    s.floaters.clear();
    s.showStatusMessage("Settings saved", Color::rgb(0.5, 1, 0.5));
    EXPECT_EQ(s.floaters.back(), (FloatingText{960, s.groundY - 30, "Settings saved", Color::rgb(0.5, 1, 0.5),
                                               1.5, 1.2, -45, 1, true}));
    EXPECT_EQ(TumblewickStage::blendColor(Color::rgb(0, 0, 0, 0.2), Color::rgb(1, 1, 1), 2),
              Color::rgb(1, 1, 1));
}

TEST_F(TumblewickStageTest, DeterministicTimelineKeepsItsScheduleAndReplaysFromTheSeed) {
    // What a show leaves behind, frame by frame.
    auto show = [](std::int64_t seed, int frames, std::vector<int>* keyFrames,
                   std::vector<int>* clickFrames) {
        StageRig rig({1200, 150}, 60, 1.0, 99);
        auto& s = *rig.stage;
        s.configureDeterministicMode(true, seed, true);
        std::vector<std::string> trace;
        for (int frame = 1; frame <= frames; ++frame) {
            const double angle = s.gears[0].angle;
            const auto waves = s.shockwaves.size();
            const auto words = s.floaters.size();
            rig.tick(0.001);
            const double jolt = s.gears[0].angle - angle - s.gears[0].spin / 60;
            if (keyFrames != nullptr && jolt > s.gears[0].jolt + 1e-9) keyFrames->push_back(frame);
            if (clickFrames != nullptr && s.shockwaves.size() > waves) clickFrames->push_back(frame);
            std::string state = std::to_string(s.energy.smooth) + "/" + std::to_string(s.bannerGlow);
            for (const auto& f : s.floaters) state += f.text + std::to_string(f.x);
            trace.push_back(state + std::to_string(s.floaters.size() - words));
        }
        return trace;
    };
    std::vector<int> keyFrames;
    std::vector<int> clickFrames;
    const auto first = show(424242, 400, &keyFrames, &clickFrames);
    ASSERT_FALSE(keyFrames.empty());
    EXPECT_EQ(keyFrames.front(), 54);
    ASSERT_FALSE(clickFrames.empty());
    EXPECT_EQ(clickFrames.front(), 169);
    EXPECT_EQ(show(424242, 400, nullptr, nullptr), first);
    EXPECT_NE(show(424243, 400, nullptr, nullptr), first);
    // Seed 0 stands for the golden-ratio state.
    EXPECT_EQ(show(0, 300, nullptr, nullptr), show(-7046029254386353131LL, 300, nullptr, nullptr));

    StageRig rig;
    auto& s = *rig.stage;
    s.configureDeterministicMode(true, 3, true);
    rig.tick(0.001);
    EXPECT_NEAR(s.energy.smooth / 100,
                0.075 * (0.55 + 0.25 * std::sin(0.8 / 60) + 0.15 * std::sin(2.6 / 60 + 0.4)), 1e-12);
    // Re-applying the seed with reset replays the same numbers.
    s.configureDeterministicMode(true, 3, true);
    const double a = s.randDouble(0, 1);
    const double b = s.randDouble(-5, 5);
    s.configureDeterministicMode(true, 3, true);
    EXPECT_EQ(s.randDouble(0, 1), a);
    EXPECT_EQ(s.randDouble(-5, 5), b);
    EXPECT_GE(a, 0);
    EXPECT_LT(a, 1);
}

TEST_F(TumblewickStageTest, UpdateCheckRunsThreeSecondsAfterConstructionUnlessSwitchedOff) {
    struct Case {
        std::optional<DefaultsValue> stored;
        bool checks;
    };
    const Case cases[] = {
        {std::nullopt, true},
        {DefaultsValue{true}, true},
        {DefaultsValue{std::string("no")}, true},
        {DefaultsValue{false}, false},
    };
    for (const auto& c : cases) {
        testing::ManualClock clock;
        testing::ManualMainQueue queue;
        testing::InMemoryDefaults defaults;
        if (c.stored) defaults.set(settings::checkForUpdates.key, *c.stored);
        testing::FakeStageAgentHost host;
        testing::FakeStageScreen screen;
        testing::FakeCustomFleas fleas;
        testing::RecordingXPSink xp;
        testing::FakeUpdateChecker updates;
        auto stage = std::make_unique<TumblewickStage>(
            Size{800, 150}, StageServices{clock, queue, defaults, host, fleas, xp, screen, &updates}, 60,
            1.0);
        queue.advance(2.9);
        EXPECT_TRUE(updates.pending.empty());
        queue.advance(0.2);
        ASSERT_EQ(updates.pending.size(), c.checks ? 1u : 0u);
        if (!c.checks) continue;
        updates.pending[0]("1.5.0");
        EXPECT_EQ(stage->updateAvailableVersion, "1.5.0");
        stage.reset();
        updates.pending[0]("1.6.0");  // a late answer for a stage that is gone
    }
}

TEST_F(TumblewickStageTest, SharedTablesAreRebuiltOncePerFramePeriodAcrossViews) {
    StageRig a;
    StageRig b;
    auto flea = [](std::string act, double created) {
        MacCustomFlea f;
        f.discoveredAct = std::move(act);
        f.createdAt = Date{created};
        return f;
    };
    a.fleas.list = {flea("cannon", 10), flea("cannon", 20), flea("juggling", 5)};
    b.fleas.list = a.fleas.list;
    const double period = 1.0 / 60;
    EXPECT_TRUE(refreshStageSharedTables(a.fleas.list, 100.0, period));
    EXPECT_FALSE(refreshStageSharedTables(b.fleas.list, 100.0 + 0.4 * period, period));
    EXPECT_TRUE(refreshStageSharedTables(a.fleas.list, 100.0 + period, period));
    EXPECT_FALSE(refreshStageSharedTables(b.fleas.list, 100.0 + 1.4 * period, period));
    EXPECT_TRUE(refreshStageSharedTables(b.fleas.list, 50.0, period));  // a clock that went back
    EXPECT_EQ(macCustomFleaByAct().at("cannon").createdAt, Date{20});
    EXPECT_EQ(macCustomFleaByAct().size(), 2u);
}

TEST(AudienceGroupTest, ASpikeDrawsEveryHopFromSixToFourteenAndEachUpdateKeepsEightySevenHundredths) {
    AudienceGroupMac group;
    group.fleas.assign(400, AudienceFleaMac{.x = 3, .y = 7, .jump = 1});
    SeededRandomSource random(42);
    group.onSpike(random);
    double lowest = 14, highest = 6;
    for (const AudienceFleaMac& flea : group.fleas) {
        EXPECT_EQ(flea.x, 3);
        EXPECT_EQ(flea.y, 7);
        lowest = std::min(lowest, flea.jump);
        highest = std::max(highest, flea.jump);
    }
    EXPECT_GE(lowest, 6);
    EXPECT_LE(highest, 14);
    EXPECT_LT(lowest, 6.5);  // drawn over the whole range, not one value
    EXPECT_GT(highest, 13.5);

    for (const double dt : {0.0, 1.0 / 60, 5.0}) {
        AudienceGroupMac settled = group;
        settled.update(dt);
        for (std::size_t i = 0; i < group.fleas.size(); ++i)
            ASSERT_DOUBLE_EQ(settled.fleas[i].jump, group.fleas[i].jump * 0.87) << dt;
    }
}

}  // namespace
}  // namespace tw
