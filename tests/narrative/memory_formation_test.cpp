#include <gtest/gtest.h>

#include "narrative_test_support.h"

namespace tw {
namespace {

using namespace narrative_test;
using O = FleaOutcome;
using E = TumblewickEventType;
using Tier = FleaMemoryTier;

FleaInterpretation reading(double importance, std::vector<O> outcomes = {O::cleanSuccess},
                           O dominant = O::cleanSuccess) {
    return FleaInterpretation{std::move(outcomes), dominant, {"clean_success"}, "proud", importance};
}

FleaMemory memoryOf(const std::string& name, std::vector<std::string> tags, double importance = 0.5,
                    Date at = Date{100.0}, Tier tier = Tier::recent) {
    return FleaMemory{
        .flea = flea(name), .createdAt = at, .tier = tier, .tags = std::move(tags), .importance = importance};
}

TEST(MemoryFormation, GateAndTierBoundaries) {
    const FleaNarrativeEngine engine;
    const TumblewickEventRecord e = event(E::performanceSuccess);
    EXPECT_FALSE(engine.makeMemoryCandidate(e, reading(std::nextafter(0.45, 0.0))));

    const std::pair<double, Tier> boundaries[] = {
        {0.45, Tier::immediate}, {std::nextafter(0.45, 1.0), Tier::recent},
        {0.7, Tier::recent},     {std::nextafter(0.7, 1.0), Tier::season},
        {0.85, Tier::season},    {std::nextafter(0.85, 1.0), Tier::longTerm},
        {0.95, Tier::longTerm},  // no signature, strange magic or myth seed
    };
    for (auto [importance, tier] : boundaries) {
        auto memory = engine.makeMemoryCandidate(e, reading(importance));
        ASSERT_TRUE(memory) << importance;
        EXPECT_EQ(memory->tier, tier) << importance;
    }
    EXPECT_EQ(engine.makeMemoryCandidate(e, reading(0.9, {O::signatureMoment}, O::signatureMoment))->tier,
              Tier::longTerm);
    EXPECT_EQ(
        engine.makeMemoryCandidate(e, reading(std::nextafter(0.9, 1.0), {O::mythSeed}, O::mythSeed))->tier,
        Tier::legend);

    TumblewickEventRecord pinned = e;
    pinned.context.playerPinned = true;
    auto legend = engine.makeMemoryCandidate(pinned, reading(0.0));
    ASSERT_TRUE(legend);
    EXPECT_EQ(legend->tier, Tier::legend);
    EXPECT_TRUE(legend->pinned);

    // An interpretation outside 0..1 is stored clamped.
    EXPECT_EQ(engine.makeMemoryCandidate(e, reading(1.4))->importance, 1.0);
}

TEST(MemoryFormation, FieldsOfANewMemory) {
    const FleaNarrativeEngine engine;
    TumblewickEventRecord e = event(E::duetMoment, "Pip", "juggling");
    e.involvedFleas = {flea("Dot")};
    e.context.playerAttention = 0.6;
    const FleaInterpretation r = FleaNarrativeEngine::interpret(e, {});
    auto memory = engine.makeMemoryCandidate(e, r);
    ASSERT_TRUE(memory);
    EXPECT_EQ(memory->flea, e.primaryFlea);
    EXPECT_EQ(memory->sourceEventID, e.id);
    EXPECT_EQ(memory->createdAt, e.occurredAt);
    EXPECT_EQ(memory->tags, r.memoryTags);
    EXPECT_EQ(memory->summaryFact, "Pip had a small juggling moment.");
    EXPECT_EQ(memory->emotionalMeaning, "The stage felt shared.");
    EXPECT_EQ(memory->possibleDialogueHooks, tags({"Dot waited", "beside me", "same bow"}));
    EXPECT_TRUE(memory->playerInvolved);

    TumblewickEventRecord back = event(E::returnEvent);
    back.fact = "Pip heard the door.";
    auto returned = engine.makeMemoryCandidate(back, FleaNarrativeEngine::interpret(back, {}));
    ASSERT_TRUE(returned);
    EXPECT_EQ(returned->summaryFact, "Pip heard the door.");
    EXPECT_EQ(returned->emotionalMeaning, "The player's return warmed the circus.");
    EXPECT_EQ(returned->possibleDialogueHooks, tags({"we bowed together", "beside me", "same bow"}));
    EXPECT_FALSE(returned->playerInvolved);
}

TEST(MemoryEvolution, AddsATagOnceAndRaisesImportance) {
    FleaNarrativeState state;
    state.memories.push_back(memoryOf("Pip", {"soft_miss"}, 0.5));
    state.memories.push_back(memoryOf("Dot", {"soft_miss"}, 0.5));
    const FleaMemory flop = memoryOf("Pip", {"comic_bit"});
    state.memories.push_back(flop);

    FleaNarrativeEngine::evolveMemories(flop, state);
    const FleaMemory& older = state.memories[0];
    EXPECT_EQ(older.tags, tags({"soft_miss", "running_bit"}));
    EXPECT_EQ(older.emotionalMeaning, "The flop became the bit they keep using.");
    EXPECT_EQ(older.possibleDialogueHooks, tags({"they still tell that one"}));
    EXPECT_NEAR(older.importance, 0.58, 1e-12);
    EXPECT_EQ(state.memories[1].tags, tags({"soft_miss"}));  // another flea
    EXPECT_EQ(state.memories[2], flop);                      // the new memory itself

    const FleaMemory before = older;
    FleaNarrativeEngine::evolveMemories(memoryOf("Pip", {"comic_bit"}), state);
    EXPECT_EQ(state.memories[0], before);
}

TEST(MemoryEvolution, LaterRulesSeeEarlierTagsAndTiersOnlyRise) {
    FleaNarrativeState state;
    state.memories.push_back(memoryOf("Pip", {"near_success"}, 0.96, Date{1}, Tier::legend));
    state.memories.push_back(memoryOf("Pip", {"strange_magic", "omen"}, 0.5, Date{2}, Tier::recent));
    const FleaMemory dare = memoryOf("Pip", {"brave_attempt", "strange_magic"});
    FleaNarrativeEngine::evolveMemories(dare, state);

    // Row 2 adds brave_attempt, so row 8 holds in the same pass.
    EXPECT_EQ(state.memories[0].tags, tags({"near_success", "brave_attempt", "title_seed"}));
    EXPECT_EQ(state.memories[0].emotionalMeaning, "The leap kept happening; a name began forming.");
    EXPECT_EQ(state.memories[0].tier, Tier::legend);
    EXPECT_EQ(state.memories[0].importance, 1.0);
    EXPECT_EQ(state.memories[1].tags, tags({"strange_magic", "omen", "recurring_motif"}));
    EXPECT_EQ(state.memories[1].tier, Tier::longTerm);
}

TEST(MemoryPruning, KeepsEightyInChronologicalOrder) {
    std::vector<FleaMemory> memories;
    for (int i = 0; i < 80; ++i) memories.push_back(memoryOf("Pip", {}, 0.5, Date{100.0 + i}));
    FleaMemory faint = memoryOf("Pip", {}, 0.1, Date{500}, Tier::immediate);
    memories.push_back(faint);
    std::vector<FleaMemory> kept = FleaNarrativeEngine::prunedMemories(memories);
    ASSERT_EQ(kept.size(), 80u);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), faint), 0);

    FleaMemory pinned = faint;
    pinned.pinned = true;
    memories.back() = pinned;
    kept = FleaNarrativeEngine::prunedMemories(memories);
    EXPECT_EQ(kept.back(), pinned);
    EXPECT_EQ(kept.front().createdAt, Date{101.0});  // the oldest of the lowest tier went
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(), [](const FleaMemory& a, const FleaMemory& b) {
        return a.createdAt < b.createdAt;
    }));
}

TEST(MemoryPruning, EqualTimesStayInKeepOrder) {
    const Date same{42};
    const FleaMemory low = memoryOf("Pip", {}, 0.3, same, Tier::recent);
    const FleaMemory high = memoryOf("Pip", {}, 0.9, same, Tier::recent);
    const FleaMemory legend = memoryOf("Pip", {}, 0.1, same, Tier::legend);
    FleaMemory pinned = memoryOf("Pip", {}, 0.0, same, Tier::immediate);
    pinned.pinned = true;
    EXPECT_EQ(FleaNarrativeEngine::prunedMemories({low, high, legend, pinned}),
              (std::vector<FleaMemory>{pinned, legend, high, low}));
}

TEST(MemoryPruning, ANaNImportanceRanksLastInsteadOfBreakingTheSort) {
    std::vector<FleaMemory> memories;
    for (int i = 0; i < 81; ++i) memories.push_back(memoryOf("Pip", {}, 0.2 + 0.005 * i, Date{100.0 + i}));
    memories[40].importance = std::nan("");
    const std::vector<FleaMemory> kept = FleaNarrativeEngine::prunedMemories(memories);
    ASSERT_EQ(kept.size(), 80u);
    EXPECT_TRUE(
        std::none_of(kept.begin(), kept.end(), [](const FleaMemory& m) { return std::isnan(m.importance); }));

    FleaNarrativeState state;
    state.memories = {memories[40], memories[0], memories[1]};
    const std::vector<FleaMemory> recalled = state.memoriesForFlea(flea("Pip"), 3);
    ASSERT_EQ(recalled.size(), 3u);
    EXPECT_EQ(recalled[0], memories[1]);
    EXPECT_TRUE(std::isnan(recalled[2].importance));
}

TEST(NarrativeState, MemoriesForFleaInRecallOrder) {
    FleaNarrativeState state;
    const FleaMemory season = memoryOf("Pip", {}, 0.99, Date{1}, Tier::season);
    const FleaMemory legend = memoryOf("Pip", {}, 0.5, Date{2}, Tier::legend);
    const FleaMemory older = memoryOf("Pip", {}, 0.6, Date{3}, Tier::recent);
    const FleaMemory newer = memoryOf("Pip", {}, 0.6, Date{4}, Tier::recent);
    state.memories = {season, legend, older, newer, memoryOf("Dot", {}, 1.0, Date{5}, Tier::legend)};
    EXPECT_EQ(state.memoriesForFlea(flea("Pip"), 10),
              (std::vector<FleaMemory>{legend, season, newer, older}));
    EXPECT_EQ(state.memoriesForFlea(flea("Pip"), 1), std::vector<FleaMemory>{legend});
    EXPECT_TRUE(state.memoriesForFlea(flea("Pip"), 0).empty());
    EXPECT_TRUE(state.memoriesForFlea(flea("Pip"), -1).empty());
}

}  // namespace
}  // namespace tw
