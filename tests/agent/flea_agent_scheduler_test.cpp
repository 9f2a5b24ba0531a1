#include "agent/flea_agent_scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "agent/flea_agent_core.h"
#include "agent/split_mix64.h"
#include "platform/testing/recording_telemetry_sink.h"

namespace tw {
namespace {

using A = AgentAction;

const StringHashFunction kZeroHash = [](std::string_view) { return std::int64_t{0}; };
constexpr Date kStart{800000000.0};

VoiceCard card(const std::string& id) { return VoiceCard{.flea_id = id, .name = id}; }

std::string ids(const std::vector<FleaAgentScheduler::PendingTick>& ticks) {
    std::string out;
    for (const auto& tick : ticks) out += (out.empty() ? "" : ",") + tick.flea_id;
    return out;
}

class SchedulerTest : public ::testing::Test {
   protected:
    FleaAgentScheduler scheduler{true, kZeroHash};

    void registerAll(std::initializer_list<const char*> names) {
        for (const char* name : names) scheduler.registerFlea(name, card(name));
    }
};

TEST_F(SchedulerTest, StepsRefuseCallsCloserThanTheGap) {
    EXPECT_TRUE(scheduler.step(kStart).empty());  // nobody registered
    EXPECT_EQ(scheduler.tickCounter(), 0u);
    EXPECT_EQ(scheduler.lastStepAt(), kStart);

    registerAll({"Pip"});
    EXPECT_TRUE(scheduler.step(kStart.adding(0.3)).empty());
    EXPECT_EQ(scheduler.lastStepAt(), kStart);
    EXPECT_EQ(scheduler.step(kStart.adding(0.45)).size(), 1u);
    EXPECT_EQ(scheduler.tickCounter(), 1u);

    // A clock set back refuses every step until it is again far enough ahead.
    EXPECT_TRUE(scheduler.step(kStart.adding(-10)).empty());
    EXPECT_TRUE(scheduler.step(kStart.adding(0.8)).empty());
    EXPECT_EQ(scheduler.step(kStart.adding(1.0)).size(), 1u);
}

TEST_F(SchedulerTest, EqualWeightsRotateByLastDecisionThenId) {
    registerAll({"Fizz", "Dot", "Blaze"});
    std::vector<std::string> steps;
    for (int i = 0; i < 5; ++i) steps.push_back(ids(scheduler.step(kStart.adding(0.5 * i))));
    EXPECT_EQ(steps,
              (std::vector<std::string>{"Blaze,Dot", "Fizz,Blaze", "Dot,Blaze", "Fizz,Blaze", "Dot,Blaze"}));
}

TEST_F(SchedulerTest, AttendedFleaGoesFirstWithGrowingWeight) {
    registerAll({"Fizz", "Dot", "Blaze"});
    std::vector<std::string> steps;
    std::vector<double> weights;
    for (int i = 0; i < 4; ++i) {
        scheduler.updateStage(StageState{.player_attention_flea_id = "Fizz"});
        weights.push_back(*scheduler.attentionWeight("Fizz"));
        steps.push_back(ids(scheduler.step(kStart.adding(0.5 * i))));
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"Fizz,Blaze", "Fizz,Dot", "Fizz,Blaze", "Fizz,Dot"}));
    EXPECT_EQ(weights, (std::vector<double>{0.5, 0.75, 0.875, 0.9375}));
    EXPECT_EQ(scheduler.spotlightFleaID, "Fizz");

    scheduler.updateStage(StageState{.player_attention_flea_id = "Ghost"});
    EXPECT_EQ(scheduler.spotlightFleaID, "Ghost");  // kept even when not registered
}

// Ordinary use for eight minutes, a step every half second: the pointer rests on the
// strip part of each minute, moving among a few residents with clicks near them, and a
// flea is made two minutes in. Every flea decides in every minute, the new one within a
// minute of being made: a leftover of old attention must not keep the rest waiting.
TEST_F(SchedulerTest, EveryFleaDecidesEachMinuteInOrdinaryUse) {
    struct Row {
        const char* name;
        double attendedSecondsPerMinute;  // the pointer moves among `attended`
        std::vector<std::string> attended;
        double clickEverySeconds;  // near the flea next after the attended one
    };
    const std::vector<Row> rows{
        {"pointer 20 s a minute among three, clicks near them", 20, {"Pip", "Zing", "Nova"}, 3},
        {"pointer always on one, clicks near two others", 60, {"Rex"}, 5},
    };
    const std::vector<std::string> residents{"Blaze", "Dot", "Fizz", "Nova", "Pip", "Rex", "Zing"};
    const std::string made = "0C8B8C3E-5D59-4B5E-9A49-2F0D7B1C6E21";
    for (const Row& row : rows) {
        FleaAgentScheduler fresh{true, kZeroHash};
        for (const auto& id : residents) fresh.registerFlea(id, card(id));
        std::map<std::string, std::vector<double>> decided;
        for (int i = 0; i < 8 * 120; ++i) {
            const double t = 0.5 * i;
            if (t == 120) fresh.registerFlea(made, card(made));
            const double inMinute = std::fmod(t, 60);
            std::optional<std::string> attended;
            if (inMinute < row.attendedSecondsPerMinute) {
                const auto turn = static_cast<std::size_t>(inMinute / 2);
                attended = row.attended[turn % row.attended.size()];
                if (std::fmod(inMinute, row.clickEverySeconds) == 0)
                    fresh.recordEvent(FleaAgentScheduler::EventKind::player_attention,
                                      row.attended.size() > 1 ? *attended : residents[1 + turn % 2]);
            }
            fresh.updateStage(StageState{.player_attention_flea_id = attended});
            for (const auto& tick : fresh.step(kStart.adding(t))) decided[tick.flea_id].push_back(t);
        }
        for (int minute = 0; minute < 8; ++minute)
            for (const auto& id : residents)
                EXPECT_TRUE(std::ranges::any_of(
                    decided[id], [&](double t) { return t >= 60 * minute && t < 60 * (minute + 1); }))
                    << row.name << ": " << id << " never decided in minute " << minute;
        ASSERT_FALSE(decided[made].empty()) << row.name << ": the flea made at 2 min never decided";
        EXPECT_LT(decided[made].front(), 180) << row.name;
    }
}

TEST_F(SchedulerTest, MoodsRelaxForAtMostAMinuteAndDecisionsApplyTheirDelta) {
    registerAll({"Blaze", "Dot", "Fizz"});
    const MoodDimensions tense{0.0, 1.0, 0.2, 0.9};
    scheduler.setMood(tense, "Fizz");
    scheduler.step(kStart);  // Blaze and Dot; the first step relaxes nothing
    EXPECT_EQ(scheduler.mood("Fizz"), tense);
    const MoodDimensions dotAfterFirst = *scheduler.mood("Dot");

    scheduler.step(kStart.adding(300));  // Fizz and Blaze decide; Dot only relaxes
    EXPECT_EQ(scheduler.mood("Dot"), dotAfterFirst.decayed(60));
    EXPECT_NE(scheduler.mood("Dot"), dotAfterFirst.decayed(300));
}

TEST_F(SchedulerTest, RecentIntentsKeepTheLastEight) {
    registerAll({"Pip"});
    for (int i = 0; i < 9; ++i) scheduler.step(kStart.adding(0.5 * i));
    const auto diagnostics = scheduler.diagnostics();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].recent_intent_actions.size(), 8u);
    EXPECT_EQ(diagnostics[0].last_tick_at, kStart.adding(4.0));
}

TEST_F(SchedulerTest, EventsAndPromotionRaiseAttention) {
    registerAll({"Blaze", "Dot"});
    scheduler.recordEvent(FleaAgentScheduler::EventKind::player_attention, std::string("Ghost"));
    EXPECT_DOUBLE_EQ(*scheduler.attentionWeight("Blaze"), 0.24);
    EXPECT_DOUBLE_EQ(*scheduler.attentionWeight("Dot"), 0.24);

    for (int i = 0; i < 3; ++i) scheduler.updateStage(StageState{.player_attention_flea_id = "Dot"});
    EXPECT_DOUBLE_EQ(*scheduler.attentionWeight("Dot"), 1.74);
    scheduler.recordEvent(FleaAgentScheduler::EventKind::notification_open, std::string("Dot"));
    EXPECT_EQ(*scheduler.attentionWeight("Dot"), 1.0);
    EXPECT_DOUBLE_EQ(*scheduler.attentionWeight("Blaze"), 0.24);

    const Calendar utc("UTC");
    EXPECT_TRUE(scheduler.promoteForBill("Blaze", kStart, utc));
    EXPECT_FALSE(scheduler.promoteForBill("Blaze", kStart, utc));
    EXPECT_DOUBLE_EQ(*scheduler.attentionWeight("Blaze"), 0.8);
    EXPECT_TRUE(scheduler.promoteForBill("Nobody", kStart, utc));
    EXPECT_EQ(scheduler.currentlyPromotedFleaID(), "Nobody");
    EXPECT_TRUE(scheduler.promoteForBill("Blaze", kStart, utc));

    // Each step lifts the promoted flea back to 0.7 before ordering.
    scheduler.registerFlea("Dot", card("Dot"));  // starts over at weight 0
    scheduler.updateStage(StageState{});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ids(scheduler.step(kStart.adding(0.5 * i))).substr(0, 5), "Blaze");

    scheduler.clearPromotedIfMidnightPassed(kStart.adding(60), utc);
    EXPECT_EQ(scheduler.currentlyPromotedFleaID(), "Blaze");
    scheduler.clearPromotedIfMidnightPassed(kStart.adding(86400), utc);
    EXPECT_FALSE(scheduler.currentlyPromotedFleaID());
}

TEST_F(SchedulerTest, SeedsFollowTheOverrideOrTheTimeBits) {
    // Energy under 0.2 ties the assigned act with sit, so the seed decides the action.
    scheduler.updateWorld(WorldSnapshot{"2026-01-01T00:00:00Z", AgentTimeOfDay::morning, 0.1, std::nullopt,
                                        AgentWeather::clear});
    registerAll({"Pip"});
    auto expected = [](std::uint64_t seed) {
        return SplitMix64(seed).next() % 2 == 0 ? A::perform_assigned_act : A::sit;
    };
    scheduler.seedOverride = 0;
    for (int i = 0; i < 12; ++i) {
        scheduler.registerFlea("Pip", card("Pip"));  // keep the input free of recent intents
        const auto ticks = scheduler.step(kStart.adding(0.5 * i));
        ASSERT_EQ(ticks.size(), 1u);
        EXPECT_EQ(ticks[0].intent.action, expected(djb2Hash("Pip") + 1 + static_cast<std::uint64_t>(i))) << i;
    }

    scheduler.seedOverride.reset();
    for (int i = 12; i < 24; ++i) {
        scheduler.registerFlea("Pip", card("Pip"));
        const Date now = kStart.adding(0.5 * i);
        const auto ticks = scheduler.step(now);
        ASSERT_EQ(ticks.size(), 1u);
        EXPECT_EQ(ticks[0].intent.action, expected(std::bit_cast<std::uint64_t>(now.seconds))) << i;
        EXPECT_EQ(ticks[0].scored_at, now);
    }
}

TEST_F(SchedulerTest, TelemetryAndPulseFollowEachDecision) {
    std::vector<std::string> pulse;
    testing::RecordingTelemetrySink telemetry;
    FleaAgentScheduler recorded(
        true, kZeroHash,
        [&](const std::string& name, const std::string& intent, bool initiative, Date) {
            pulse.push_back(name + ":" + intent + (initiative ? "!" : ""));
        },
        telemetry);
    VoiceCard pip = card("Pip");
    pip.traits = {"ambition_competitive"};
    recorded.registerFlea("Pip", pip);
    recorded.registerFlea("Rex", card("Rex"));
    recorded.updateStage(StageState{.player_attention_flea_id = "Pip"});
    recorded.step(kStart);              // Pip: signature (initiative); Rex: assigned act
    recorded.step(kStart.adding(0.5));  // within the second: no new "decision made"

    const auto lines = telemetry.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "flea_agent_decision_made flea_id=Pip intent=perform_signature");
    EXPECT_EQ(lines[1], "flea_agent_action_chosen flea_id=Pip intent=perform_signature");
    EXPECT_EQ(lines[2], "flea_agent_initiative flea_id=Pip intent_kind=perform_signature");
    int decisionMade = 0;
    for (const auto& line : lines) decisionMade += line.rfind("flea_agent_decision_made", 0) == 0 ? 1 : 0;
    EXPECT_EQ(decisionMade, 1);
    ASSERT_EQ(pulse.size(), 4u);
    EXPECT_EQ(pulse[0], "Pip:perform_signature!");
    EXPECT_EQ(pulse[1], "Rex:perform_assigned_act");
}

TEST_F(SchedulerTest, DiagnosticsAreSortedById) {
    registerAll({"Zing", "Blaze", "Pip"});
    std::string order;
    for (const auto& entry : scheduler.diagnostics()) order += entry.flea_id + " ";
    EXPECT_EQ(order, "Blaze Pip Zing ");
    EXPECT_EQ(scheduler.diagnostics()[0].last_tick_at, FleaAgentScheduler::distantPast);
}

}  // namespace
}  // namespace tw
