#include "agent/host/agent_host_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "agent/host/agent_decision.h"

namespace tw {
namespace {

using namespace agent_host;
using T = TumblewickEventType;

// Everything the host does with one action, side by side: the narrative event and its
// metrics, its own memory, the line it asks for, the XP a custom flea earns and the
// decision's base charge.
struct ActionRow {
    AgentAction action;
    std::optional<NarrativeEventShape> event;
    std::optional<HostMemoryStyle> memory;
    std::optional<std::string_view> outcome;
    std::optional<std::int64_t> xp;
    double charge;
};

TEST(AgentHostTables, EveryActionMapsToItsEventMemoryLineXPAndCharge) {
    const std::vector<ActionRow> rows = {
        {AgentAction::perform_assigned_act,
         NarrativeEventShape{T::performanceSuccess, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5}},
         HostMemoryStyle{"resilient", "performance"}, std::nullopt, std::nullopt, 0.1},
        {AgentAction::perform_signature,
         NarrativeEventShape{T::performanceSuccess, {0.9, 0.85, 0.85, 0.7, 0.7, 0.6}},
         HostMemoryStyle{"signature", "signature_move"}, "clean_success", 5, 0.4},
        {AgentAction::refuse, NarrativeEventShape{T::performanceMiss, {0.4, 0.3, 0.4, 0.6, 0.4, 0.55}},
         HostMemoryStyle{"tender", "refused"}, "refusal", std::nullopt, 0.1},
        {AgentAction::wander_to, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0.02},
        {AgentAction::join_flea, NarrativeEventShape{T::duetMoment, {0.7, 0.6, 0.85, 0.85, 0.5, 0.5}},
         std::nullopt, std::nullopt, std::nullopt, 0.1},
        {AgentAction::watch_flea, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0.1},
        {AgentAction::applaud, NarrativeEventShape{T::socialSupport, {0.5, 0.4, 0.7, 0.7, 0.4, 0.5}},
         HostMemoryStyle{"playful", "applauded"}, "comic_bit", std::nullopt, 0.02},
        {AgentAction::sit, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0.02},
        {AgentAction::sleep, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0.02},
        {AgentAction::micro_story_role, NarrativeEventShape{T::socialSupport, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5}},
         HostMemoryStyle{"cozy", "micro_story"}, std::nullopt, std::nullopt, 0.02},
        {AgentAction::initiate_duet, NarrativeEventShape{T::duetMoment, {0.7, 0.6, 0.85, 0.85, 0.5, 0.5}},
         HostMemoryStyle{"warm", "duet"}, "bonding_moment", 3, 0.4},
        {AgentAction::attempt_bit, NarrativeEventShape{T::nearSuccess, {0.55, 0.85, 0.6, 0.5, 0.7, 0.5}},
         HostMemoryStyle{"brave", "bit_attempted"}, "brave_attempt", 3, 0.4},
        {AgentAction::pre_action_ritual,
         NarrativeEventShape{T::performanceSuccess, {0.7, 0.45, 0.5, 0.55, 0.55, 0.5}},
         HostMemoryStyle{"mysterious", "ritual"}, "pre_action_ritual", 1, 0.4},
    };
    ASSERT_EQ(rows.size(), RawEnumCases<AgentAction>::table.size());
    for (const auto& row : rows) {
        SCOPED_TRACE(rawValue(row.action));
        EXPECT_EQ(narrativeEventShape(row.action), row.event);
        EXPECT_EQ(hostMemoryStyle(row.action), row.memory);
        EXPECT_EQ(outcomeKind(row.action), row.outcome);
        EXPECT_EQ(customFleaXP(row.action), row.xp);
        EXPECT_DOUBLE_EQ(AgentDecision::baseCharge(row.action), row.charge);
    }
    EXPECT_EQ(hostMemorySummary("Pip", AgentAction::pre_action_ritual), "Pip pre action ritual");
}

TEST(AgentHostTables, EventContextIsFixedButForThePlayersAttention) {
    const FleaEventContext attended = hostEventContext(true);
    const FleaEventContext other = hostEventContext(false);
    EXPECT_DOUBLE_EQ(attended.playerAttention, 0.7);
    EXPECT_DOUBLE_EQ(other.playerAttention, 0.2);
    FleaEventContext expected{.tentWarmth = 0.6,
                              .backstageBuzz = 0.5,
                              .houseTrust = 0.5,
                              .wonder = 0.4,
                              .playerAttention = 0.2,
                              .relationshipRelevance = 0.4,
                              .troupeReaction = 0.4,
                              .recurrenceCount = 0,
                              .playerPinned = false,
                              .previousEventType = std::nullopt,
                              .attentionLingerSeconds = 0,
                              .riskyTrickPending = false,
                              .supporterIsRival = false,
                              .primaryFleaTraits = {},
                              .isFirstAttemptOnAct = false};
    EXPECT_EQ(other, expected);
    EXPECT_EQ(narrativeActOf("Blaze"), "firebreather");
    EXPECT_EQ(narrativeActOf("blaze"), "tightrope");
    EXPECT_EQ(narrativeActOf("0E2C2A4D-6C2B-4C09-9E3A-2B6B1F3C6B10"), "tightrope");
}

// Walks the engine's own tiers, so a tier added on one side only, or spelled apart,
// fails here instead of quietly becoming an immediate memory.
TEST(AgentHostTables, EngineMemoryTiersCarryOverDistinctAndInAgeOrder) {
    std::optional<AgentMemoryTier> previous;
    for (const auto& [tier, raw] : RawEnumCases<FleaMemoryTier>::table) {
        SCOPED_TRACE(raw);
        const FleaMemory m{
            .tier = tier, .tags = {"a"}, .summaryFact = "fact", .tone = "brave", .playerInvolved = true};
        const AgentMemory copy = agentMemory(m);
        if (previous) {
            EXPECT_GT(copy.tier, *previous);
        }
        previous = copy.tier;
        EXPECT_EQ(copy, (AgentMemory{m.id.uuidString(), copy.tier, "brave", {"a"}, true, "fact"}));
    }
    EXPECT_EQ(previous, AgentMemoryTier::legend);
}

TEST(AgentHostTables, MemoriesSplitByPositionIntoThreeTiers) {
    struct Row {
        std::size_t count, immediate, recent, season;
    };
    for (const Row row :
         {Row{0, 0, 0, 0}, {2, 2, 0, 0}, {3, 3, 0, 0}, {8, 3, 5, 0}, {9, 3, 5, 1}, {12, 3, 5, 4}}) {
        std::vector<AgentMemory> memories;
        for (std::size_t i = 0; i < row.count; ++i)
            memories.push_back(AgentMemory{.id = std::to_string(i), .tier = AgentMemoryTier::legend});
        const MemoriesByTier tiers = memoriesByTier(memories);
        SCOPED_TRACE(row.count);
        ASSERT_EQ(tiers.immediate.size(), row.immediate);
        ASSERT_EQ(tiers.recent.size(), row.recent);
        ASSERT_EQ(tiers.season.size(), row.season);
        EXPECT_TRUE(tiers.long_term.empty());
        EXPECT_TRUE(tiers.legend.empty());
        // Oldest first within each tier, and the tiers in age order: season, recent, immediate.
        std::vector<AgentMemory> joined = tiers.season;
        joined.insert(joined.end(), tiers.recent.begin(), tiers.recent.end());
        joined.insert(joined.end(), tiers.immediate.begin(), tiers.immediate.end());
        EXPECT_EQ(joined, memories);
    }
}

TEST(AgentHostTables, HoursMapToTheirTimeOfDay) {
    const std::vector<std::pair<int, AgentTimeOfDay>> rows = {
        {0, AgentTimeOfDay::night},      {4, AgentTimeOfDay::night},    {5, AgentTimeOfDay::dawn},
        {8, AgentTimeOfDay::dawn},       {9, AgentTimeOfDay::morning},  {11, AgentTimeOfDay::morning},
        {12, AgentTimeOfDay::midday},    {13, AgentTimeOfDay::midday},  {14, AgentTimeOfDay::afternoon},
        {17, AgentTimeOfDay::afternoon}, {18, AgentTimeOfDay::evening}, {20, AgentTimeOfDay::evening},
        {21, AgentTimeOfDay::night},     {23, AgentTimeOfDay::night}};
    for (auto [hour, expected] : rows) EXPECT_EQ(timeOfDay(hour), expected) << hour;
}

TEST(AgentHostTables, PeriodIndexCyclesAndNeverGoesNegative) {
    // Featured resident: each 6 s period in turn, Pip to Blaze and round again.
    std::vector<std::string_view> featured;
    for (int period = 0; period < 8; ++period)
        featured.push_back(residents[periodIndex(Date{period * 6.0 + 5.9}, 6.0, 7)].name);
    EXPECT_EQ(featured,
              (std::vector<std::string_view>{"Pip", "Zing", "Nova", "Dot", "Rex", "Fizz", "Blaze", "Pip"}));
    // Before 2001 the period count is negative; huge or odd moments must stay in range.
    EXPECT_EQ(periodIndex(Date{-6.0}, 6.0, 7), 6u);
    EXPECT_EQ(periodIndex(Date{-1.0}, 6.0, 7), 0u);  // truncated towards zero
    EXPECT_LT(periodIndex(Date{-1e300}, 6.0, 7), 7u);
    EXPECT_LT(periodIndex(Date{1e300}, 8.0, 7), 7u);
    EXPECT_EQ(periodIndex(Date{std::nan("")}, 6.0, 7), 0u);
    EXPECT_EQ(periodIndex(Date{std::numeric_limits<double>::infinity()}, 6.0, 7), 0u);
    EXPECT_EQ(seedBits(Date{1.5}), 0x3FF8000000000000ull);
}

TEST(AgentHostTables, VoiceCardsOfResidentsAndCustomFleas) {
    EXPECT_EQ(plainVoiceCard("Rex"),
              (VoiceCard{.flea_id = "Rex", .name = "Rex", .voice_style = "swagger and dry humor"}));
    EXPECT_EQ(plainVoiceCard("rex").voice_style, "warm and steady");

    struct Row {
        std::string act, hat;
        std::int64_t level;
        std::string assigned, style;
        std::vector<std::string> traits;
        bool ambitious;
    };
    const std::vector<Row> rows = {
        {"Strongflea", "topHat", 1, "strongman", "focused, working", {"theatrical"}, false},
        {"POWERLIFTER", "tophat", 1, "strongman", "focused, working", {}, false},
        {"Trapeze", "crown", 4, "trapeze", "playful and quick", {"proud"}, false},
        {"cannon", "bowler", 5, "cannon", "swagger and dry humor", {"earnest"}, true},
        {"juggling", "propeller", 1, "juggling", "excited, breathless", {"playful"}, false},
        {"firebreather", "bandana", 1, "firebreather", "ritual, deliberate", {"daring"}, false},
        {"Sword Swallowing", "none", 1, "sword swallowing", "warm and steady", {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.act + "/" + row.hat);
        const RosterFlea flea{Uuid::random(), "Bixby", row.hat, row.act, row.level};
        EXPECT_EQ(normalisedAct(flea.discoveredAct), row.assigned);
        const VoiceCard card = customFleaVoiceCard(flea);
        EXPECT_EQ(card.flea_id, flea.id.uuidString());
        EXPECT_EQ(card.name, "Bixby");
        EXPECT_EQ(card.voice_style, row.style);
        EXPECT_EQ(card.traits, row.traits);
        EXPECT_EQ(card.ambition.has_value(), row.ambitious);
        EXPECT_EQ(card.pronouns, "they/them");
    }
}

}  // namespace
}  // namespace tw
