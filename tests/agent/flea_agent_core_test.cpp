#include "agent/flea_agent_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "agent/split_mix64.h"

namespace tw {
namespace {

using A = AgentAction;

// A pinned hash: the flea's generator then starts from the seed itself.
const StringHashFunction kZeroHash = [](std::string_view) { return std::int64_t{0}; };

AgentInput plainInput() {
    AgentInput input;
    input.voice_card = VoiceCard{.flea_id = "Pip", .name = "Pip"};
    input.world_snapshot = WorldSnapshot{"2026-01-01T00:00:00Z", AgentTimeOfDay::morning, 0.5, std::nullopt,
                                         AgentWeather::clear};
    return input;
}

double scoreOf(const FleaAgentDecision& decision, AgentAction action) {
    for (const auto& [a, s] : decision.debugScores)
        if (a == action) return s;
    ADD_FAILURE() << "no candidate " << rawValue(action);
    return std::nan("");
}

bool hasCandidate(const FleaAgentDecision& decision, AgentAction action) {
    for (const auto& [a, s] : decision.debugScores)
        if (a == action) return true;
    return false;
}

TEST(SplitMix64Generator, MatchesTheReferenceSequenceAndMapsZeroSeed) {
    SplitMix64 rng(1234567);
    EXPECT_EQ(rng.next(), 6457827717110365317ULL);
    EXPECT_EQ(rng.next(), 3203168211198807973ULL);
    SplitMix64 zero(0), magic(0xdeadbeefcafef00dULL);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(zero.next(), magic.next());
}

TEST(DecisionScoring, PlainFleaGetsTheBaseScoresInOrder) {
    const auto decision = FleaAgentCore::decide(plainInput(), 42, kZeroHash);
    EXPECT_EQ(decision.intent.action, A::perform_assigned_act);
    EXPECT_EQ(decision.intent.duration_ticks, 2);
    EXPECT_EQ(decision.intent.mood_delta, (MoodDimensions{0.55, 0.5, 0.55, 0.5}));
    EXPECT_FALSE(decision.intent.dialogue_hook);
    const std::vector<std::pair<AgentAction, double>> expected{
        {A::perform_assigned_act, 0.4}, {A::sit, 0.1},       {A::perform_signature, 0.05},
        {A::wander_to, 0.05},           {A::applaud, 0.05},  {A::refuse, 0},
        {A::micro_story_role, 0},       {A::attempt_bit, 0}, {A::sleep, -0.15}};
    ASSERT_EQ(decision.debugScores.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(decision.debugScores[i].first, expected[i].first) << i;
        EXPECT_NEAR(decision.debugScores[i].second, expected[i].second, 1e-12) << i;
    }
}

TEST(DecisionScoring, RepetitionPenalisesTheLastAndRecentActions) {
    auto input = plainInput();
    input.recent_intents = {AgentIntent::make(A::perform_assigned_act)};
    auto decision = FleaAgentCore::decide(input, 42, kZeroHash);
    EXPECT_NEAR(scoreOf(decision, A::perform_assigned_act), -0.6, 1e-12);
    EXPECT_EQ(decision.intent.action, A::sit);

    input.recent_intents = {AgentIntent::make(A::sleep), AgentIntent::make(A::sit),
                            AgentIntent::make(A::applaud), AgentIntent::make(A::refuse)};
    decision = FleaAgentCore::decide(input, 42, kZeroHash);
    EXPECT_NEAR(scoreOf(decision, A::sleep), -0.15, 1e-12);  // fourth from last: forgotten
    EXPECT_NEAR(scoreOf(decision, A::sit), -0.2, 1e-12);
    EXPECT_NEAR(scoreOf(decision, A::refuse), -1.0, 1e-12);
}

TEST(DecisionScoring, TraitsMoodMemoryAttentionAndTime) {
    auto input = plainInput();
    input.voice_card.traits = {"ambition_competitive", "ambition_mellow"};
    auto d = FleaAgentCore::decide(input, 1, kZeroHash);
    EXPECT_NEAR(scoreOf(d, A::perform_signature), 0.55, 1e-12);
    EXPECT_NEAR(scoreOf(d, A::sit), 0.35, 1e-12);
    EXPECT_NEAR(scoreOf(d, A::sleep), 0.1, 1e-12);
    EXPECT_NEAR(scoreOf(d, A::attempt_bit), 0.45, 1e-12);

    // Thresholds are strict.
    input = plainInput();
    input.mood.confidence = 0.55;
    input.world_snapshot.energy = 0.7;
    EXPECT_NEAR(scoreOf(FleaAgentCore::decide(input, 1, kZeroHash), A::perform_assigned_act), 0.4, 1e-12);
    input.mood.confidence = 0.56;
    input.world_snapshot.energy = 0.71;
    EXPECT_NEAR(scoreOf(FleaAgentCore::decide(input, 1, kZeroHash), A::perform_assigned_act), 0.85, 1e-12);

    // A "signature" tag counts like a tone; season memories count for nothing.
    input = plainInput();
    input.memories_by_tier.season = {AgentMemory{.id = "s", .tone = "signature"}};
    EXPECT_NEAR(scoreOf(FleaAgentCore::decide(input, 1, kZeroHash), A::perform_signature), 0.05, 1e-12);
    input.memories_by_tier.legend = {AgentMemory{.id = "l", .tags = {"signature"}}};
    EXPECT_NEAR(scoreOf(FleaAgentCore::decide(input, 1, kZeroHash), A::perform_signature), 0.3, 1e-12);
    input.memories_by_tier.immediate = {AgentMemory{.id = "i", .tags = {"signature"}}};
    EXPECT_NEAR(scoreOf(FleaAgentCore::decide(input, 1, kZeroHash), A::perform_signature), 0.5, 1e-12);

    // Attention counts only for the attended flea; time counts for everyone.
    input = plainInput();
    input.stage_state.player_attention_flea_id = "Zing";
    input.world_snapshot.time_of_day = AgentTimeOfDay::night;
    input.world_snapshot.arc_day_index = 6;
    d = FleaAgentCore::decide(input, 1, kZeroHash);
    EXPECT_NEAR(scoreOf(d, A::perform_signature), 0.35, 1e-12);
    EXPECT_NEAR(scoreOf(d, A::sleep), 0.4, 1e-12);
    EXPECT_NEAR(scoreOf(d, A::micro_story_role), 0.3, 1e-12);
    input.stage_state.player_attention_flea_id = "Pip";
    d = FleaAgentCore::decide(input, 1, kZeroHash);
    EXPECT_NEAR(scoreOf(d, A::perform_signature), 1.2, 1e-12);
    EXPECT_EQ(d.intent.action, A::perform_signature);
}

TEST(DecisionCandidates, PartnerAndRitualCandidatesAppearOnlyWhenEarned) {
    auto input = plainInput();
    input.stage_state.nearby_flea_ids = {"Pip"};
    auto d = FleaAgentCore::decide(input, 1, kZeroHash);
    EXPECT_EQ(d.debugScores.size(), 9u);
    EXPECT_FALSE(hasCandidate(d, A::join_flea));

    input.stage_state.nearby_flea_ids = {"Pip", "Zing", "Rex"};
    input.voice_card.traits = {"social_duet"};
    input.mood.joy = 0.9;
    d = FleaAgentCore::decide(input, 1, kZeroHash);
    EXPECT_EQ(d.debugScores.size(), 12u);
    EXPECT_NEAR(scoreOf(d, A::join_flea), 0.6, 1e-12);   // trait + relationship
    EXPECT_NEAR(scoreOf(d, A::watch_flea), 0.2, 1e-12);  // relationship
    EXPECT_NEAR(scoreOf(d, A::initiate_duet), 1.05, 1e-12);
    EXPECT_EQ(d.intent.action, A::initiate_duet);
    EXPECT_EQ(d.intent.target_flea_id, "Zing");

    input = plainInput();
    input.voice_card.traits = {"superstition_skeptic"};
    EXPECT_FALSE(hasCandidate(FleaAgentCore::decide(input, 1, kZeroHash), A::pre_action_ritual));
    input.voice_card.traits = {"superstition_omenist"};
    EXPECT_TRUE(hasCandidate(FleaAgentCore::decide(input, 1, kZeroHash), A::pre_action_ritual));
    input.voice_card.traits = {};
    input.voice_card.superstitions = {"ladders"};
    EXPECT_TRUE(hasCandidate(FleaAgentCore::decide(input, 1, kZeroHash), A::pre_action_ritual));
}

TEST(DecisionTies, NearTiesAreBrokenByTheFleasGenerator) {
    auto input = plainInput();
    input.recent_intents = {AgentIntent::make(A::sit), AgentIntent::make(A::perform_assigned_act)};
    const A tied[] = {A::perform_signature, A::wander_to, A::applaud};
    int seen[3] = {0, 0, 0};
    for (std::uint64_t seed = 0; seed < 60; ++seed) {
        const auto intent = FleaAgentCore::tick(input, seed, kZeroHash);
        const auto expected = tied[SplitMix64(seed).next() % 3];
        ASSERT_EQ(intent.action, expected) << seed;
        ++seen[SplitMix64(seed).next() % 3];
    }
    EXPECT_GT(seen[0] * seen[1] * seen[2], 0);

    // The hash of the id joins the seed, wrapping modulo 2^64.
    const StringHashFunction minusOne = [](std::string_view) { return std::int64_t{-1}; };
    EXPECT_EQ(FleaAgentCore::tick(input, 1, minusOne), FleaAgentCore::tick(input, 0, kZeroHash));

    // Energy below 0.2 makes the assigned act 0.4 - 0.3, a hair above sit's 0.1: still a tie.
    input = plainInput();
    input.world_snapshot.energy = 0.1;
    for (std::uint64_t seed = 0; seed < 20; ++seed)
        EXPECT_EQ(FleaAgentCore::tick(input, seed, kZeroHash).action,
                  SplitMix64(seed).next() % 2 == 0 ? A::perform_assigned_act : A::sit);
}

TEST(DecisionTies, WanderTargetComesFromTheFirstTwoDraws) {
    auto input = plainInput();
    input.mood.confidence = 0.3;
    input.recent_intents = {AgentIntent::make(A::applaud), AgentIntent::make(A::perform_assigned_act),
                            AgentIntent::make(A::sit)};
    // Only wander_to (0.05) is left at the top.
    for (std::uint64_t seed : {1ULL, 99ULL, 0ULL}) {
        const auto intent = FleaAgentCore::tick(input, seed, kZeroHash);
        ASSERT_EQ(intent.action, A::wander_to);
        SplitMix64 rng(seed);
        const auto first = rng.next();
        const auto second = rng.next();
        ASSERT_TRUE(intent.target_position);
        EXPECT_EQ(intent.target_position->x_norm, static_cast<double>(first % 1000) / 1000.0);
        EXPECT_EQ(intent.target_position->y_norm, static_cast<double>(second % 100) / 1000.0 + 0.55);
        EXPECT_GE(intent.target_position->y_norm, 0.55);
        EXPECT_LT(intent.target_position->y_norm, 0.65);
    }
}

TEST(DecisionTies, NonFiniteMoodOrEnergyStillPicksACandidate) {
    auto input = plainInput();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    input.mood = MoodDimensions{nan, nan, std::numeric_limits<double>::infinity(), nan};
    input.world_snapshot.energy = nan;
    const auto decision = FleaAgentCore::decide(input, 7, kZeroHash);
    EXPECT_EQ(decision.debugScores.size(), 9u);
    for (const auto& [action, score] : decision.debugScores) EXPECT_TRUE(std::isfinite(score));
    EXPECT_EQ(FleaAgentCore::tick(input, 7, kZeroHash), FleaAgentCore::tick(input, 7, kZeroHash));
}

TEST(DecisionCore, InitiativeActionsAreExactlyFour) {
    int count = 0;
    for (auto action : allCases<AgentAction>()) count += FleaAgentCore::isInitiativeAction(action) ? 1 : 0;
    EXPECT_EQ(count, 4);
    EXPECT_TRUE(FleaAgentCore::isInitiativeAction(A::pre_action_ritual));
    EXPECT_FALSE(FleaAgentCore::isInitiativeAction(A::micro_story_role));
}

}  // namespace
}  // namespace tw
