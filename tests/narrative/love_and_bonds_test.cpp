#include <gtest/gtest.h>

#include <limits>

#include "narrative_test_support.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

using namespace narrative_test;
using O = FleaOutcome;
using E = TumblewickEventType;

FleaInterpretation withOutcomes(std::vector<O> outcomes) {
    const O dominant = outcomes.empty() ? O::softMiss : outcomes.front();
    return FleaInterpretation{std::move(outcomes), dominant, {}, "tender", 0.5};
}

TEST(LoveStats, ApplyAddsPerOutcomeAndClampsEachStep) {
    FleaLoveStats stats;
    stats.apply({O::softMiss, O::growthMoment});
    FleaLoveStats expected;
    expected.resilience = 0.375;
    expected.discipline = 0.345;
    expected.precisionConfidence = 0.28;
    EXPECT_NEAR(stats.resilience, expected.resilience, 1e-12);
    EXPECT_NEAR(stats.discipline, expected.discipline, 1e-12);
    EXPECT_NEAR(stats.precisionConfidence, expected.precisionConfidence, 1e-12);
    stats.resilience = expected.resilience;
    stats.discipline = expected.discipline;
    stats.precisionConfidence = expected.precisionConfidence;
    EXPECT_EQ(stats, expected);

    FleaLoveStats high;
    high.bond = 0.97;
    high.apply({O::spotlightBloom});
    EXPECT_EQ(high.bond, 1.0);

    FleaLoveStats twice;
    twice.apply({O::strangeMagic, O::strangeMagic});
    EXPECT_NEAR(twice.wonder, 0.41, 1e-12);
    EXPECT_NEAR(twice.superstition, 0.29, 1e-12);
}

TEST(LoveStats, MakeClampsAndNaNBecomesZero) {
    const FleaLoveStats stats = FleaLoveStats::make({.bond = 1.7, .fame = -0.2, .wonder = std::nan("")});
    EXPECT_EQ(stats.bond, 1.0);
    EXPECT_EQ(stats.fame, 0.0);
    EXPECT_EQ(stats.wonder, 0.0);
    EXPECT_EQ(stats.tentWarmth, 0.4);
}

TEST(LoveStats, LookupByIdThenName) {
    const Uuid id = Uuid::random();
    FleaNarrativeState state;
    FleaLoveStats loved;
    loved.bond = 0.9;
    FleaNarrativeEngine::store(loved, FleaReference{id, "Pip"}, state);
    EXPECT_EQ(state.loveStatsByFleaID.at(id), loved);
    EXPECT_EQ(state.loveStatsByFleaName.at("Pip"), loved);
    // Renamed but same id: still found; unknown id falls through to the name.
    EXPECT_EQ(FleaNarrativeEngine::statsFor(FleaReference{id, "Pippa"}, state), loved);
    EXPECT_EQ(FleaNarrativeEngine::statsFor(FleaReference{Uuid::random(), "Pip"}, state), loved);
    EXPECT_EQ(FleaNarrativeEngine::statsFor(flea("Pippa"), state), FleaLoveStats{});
}

class PairBonds : public ::testing::Test {
   protected:
    testing::ManualClock clock{Date{5000}};
    FleaNarrativeEngine engine{clock, Calendar("UTC")};
    FleaNarrativeState state;

    TumblewickEventRecord withPartners(E type, std::vector<FleaReference> partners) {
        TumblewickEventRecord e = event(type, "Pip", "trapeze", Date{7000});
        e.involvedFleas = std::move(partners);
        return e;
    }
};

TEST_F(PairBonds, FirstDuetCreatesBothEntries) {
    TumblewickEventRecord duet = withPartners(E::duetMoment, {flea("Dot")});
    engine.updatePairBonds(duet, FleaNarrativeEngine::interpret(duet, state), state);
    EXPECT_NEAR(state.relationshipAffection.at("Dot::Pip"), 0.28, 1e-12);
    const FleaPairBond& bond = state.pairBonds.at("Dot::Pip");
    EXPECT_NEAR(bond.affection, 0.28, 1e-12);
    EXPECT_EQ(bond.interactionCount, 1);
    EXPECT_EQ(bond.lastInteraction, Date{7000});
    EXPECT_EQ(bond.lastDialogueLine, "Pip and Dot found the same beat.");
}

TEST_F(PairBonds, DeltaPerOutcomeAndEventType) {
    struct Case {
        E type;
        std::vector<O> outcomes;
        double delta;
    };
    const Case cases[] = {
        {E::performanceMiss, {O::duetSpark, O::warmRivalry}, 0.08},
        {E::performanceMiss, {O::mentorBond}, 0.06},
        {E::performanceMiss, {O::warmRivalry}, 0.04},
        {E::propEvent, {O::softMiss, O::growthMoment}, 0.02},
        {E::performanceMiss, {O::spotlightBloom}, 0.02},
        {E::performanceMiss, {O::softMiss, O::growthMoment}, -0.015},
        {E::nearSuccess, {}, -0.015},
    };
    for (const Case& c : cases) {
        FleaNarrativeState fresh;
        const TumblewickEventRecord e = withPartners(c.type, {flea("Dot")});
        engine.updatePairBonds(e, withOutcomes(c.outcomes), fresh);
        EXPECT_NEAR(fresh.relationshipAffection.at("Dot::Pip"), 0.2 + c.delta, 1e-12);
        EXPECT_NEAR(fresh.pairBonds.at("Dot::Pip").affection, 0.2 + c.delta, 1e-12);
    }
}

TEST_F(PairBonds, AffectionStaysWithinUnitRange) {
    state.relationshipAffection["Dot::Pip"] = 0.99;
    state.pairBonds["Dot::Pip"] = FleaPairBond{.affection = 0.01, .lastInteraction = Date{1}};
    engine.updatePairBonds(withPartners(E::duetMoment, {flea("Dot")}), withOutcomes({O::duetSpark}), state);
    EXPECT_EQ(state.relationshipAffection.at("Dot::Pip"), 1.0);
    for (int i = 0; i < 7; ++i)
        engine.updatePairBonds(withPartners(E::performanceMiss, {flea("Dot")}), withOutcomes({O::softMiss}),
                               state);
    EXPECT_NEAR(state.relationshipAffection.at("Dot::Pip"), 1.0 - 7 * 0.015, 1e-12);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").affection, 0.0);
}

TEST_F(PairBonds, KeysForIdsNamesAndSelfPairs) {
    const Uuid id = *Uuid::parse("00000000-0000-4000-8000-0000000000AA");
    const FleaReference withId{id, "Zed"};
    EXPECT_EQ(FleaNarrativeEngine::relationshipKey(flea("Pip"), flea("Dot")), "Dot::Pip");
    EXPECT_EQ(FleaNarrativeEngine::relationshipKey(flea("Dot"), flea("Pip")), "Dot::Pip");
    EXPECT_EQ(FleaNarrativeEngine::relationshipKey(withId, flea("Pip")), id.uuidString() + "::Pip");

    state.pairBonds["Pip::Pip"] = FleaPairBond{.affection = 0.7, .lastInteraction = Date{1}};
    const TumblewickEventRecord self = withPartners(E::socialSupport, {flea("Pip")});
    engine.updatePairBonds(self, withOutcomes({O::bondingMoment}), state);
    EXPECT_EQ(state.pairBonds.at("Pip::Pip").lastDialogueLine, "Pip trusts Pip's hands more than anyone's.");

    // The same partner twice moves the bond twice; three partners, three keys.
    const TumblewickEventRecord crowd = withPartners(E::duetMoment, {flea("Dot"), flea("Dot"), withId});
    engine.updatePairBonds(crowd, withOutcomes({O::duetSpark}), state);
    EXPECT_NEAR(state.pairBonds.at("Dot::Pip").affection, 0.36, 1e-12);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").interactionCount, 2);
    EXPECT_NEAR(state.pairBonds.at(id.uuidString() + "::Pip").affection, 0.28, 1e-12);
    EXPECT_TRUE(state.loveStatsByFleaName.empty());
}

TEST_F(PairBonds, InteractionCountSaturatesInsteadOfOverflowing) {
    state.pairBonds["Dot::Pip"] =
        FleaPairBond{0.5, Date{1}, std::nullopt, std::numeric_limits<std::int64_t>::max()};
    engine.updatePairBonds(withPartners(E::duetMoment, {flea("Dot")}), withOutcomes({O::duetSpark}), state);
    engine.triggerConversation(flea("Pip"), flea("Dot"), state);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").interactionCount, std::numeric_limits<std::int64_t>::max());
}

TEST_F(PairBonds, RelationshipLinesByLabel) {
    auto lineFor = [&](O dominant, double affection) {
        FleaNarrativeState s;
        s.pairBonds["Dot::Pip"] = FleaPairBond{.affection = affection, .lastInteraction = Date{1}};
        FleaInterpretation r = withOutcomes({O::comicBit});  // +0.02 whatever the dominant outcome
        r.dominantOutcome = dominant;
        engine.updatePairBonds(withPartners(E::propEvent, {flea("Dot")}), r, s);
        return *s.pairBonds.at("Dot::Pip").lastDialogueLine;
    };
    EXPECT_EQ(lineFor(O::mentorBond, 0.64), "Pip trusts Dot's hands more than their own.");
    EXPECT_EQ(lineFor(O::bondingMoment, 0.39), "Pip waits for Dot before bowing.");
    EXPECT_EQ(lineFor(O::bondingMoment, 0.1), "Pip lets Dot catch the eye.");
    EXPECT_EQ(lineFor(O::warmRivalry, 0.7), "Pip measures the night by what Dot attempted.");
    EXPECT_EQ(lineFor(O::warmRivalry, 0.5), "Pip keeps an honest eye on Dot.");
    EXPECT_EQ(lineFor(O::comicBit, 0.7), "Pip and Dot move like they share a mirror.");
    EXPECT_EQ(lineFor(O::comicBit, 0.1), "Pip and Dot are still finding the same rhythm.");
}

TEST_F(PairBonds, TopBondsReportTheOtherFlea) {
    const Uuid id = Uuid::random();
    state.pairBonds["Dot::Pip"] = FleaPairBond{.affection = 0.3};
    state.pairBonds["Pip::Pip"] = FleaPairBond{.affection = 0.5};
    state.pairBonds["Pip::Zed"] = FleaPairBond{.affection = 0.9};
    state.pairBonds["A::B::Pip"] = FleaPairBond{.affection = 1.0};
    state.pairBonds[id.uuidString() + "::Pip"] = FleaPairBond{.affection = 0.4};
    const std::vector<FleaBondEntry> top = state.topBonds(flea("Pip"), 10);
    ASSERT_EQ(top.size(), 4u);
    EXPECT_EQ(top[0].otherKey, "Zed");
    EXPECT_EQ(top[1].otherKey, "Pip");
    EXPECT_EQ(top[2].otherKey, id.uuidString());
    EXPECT_EQ(top[3].otherKey, "Dot");
    EXPECT_EQ(state.topBonds(flea("Pip"), 2).size(), 2u);
    EXPECT_TRUE(state.topBonds(flea("Pip"), -1).empty());
    EXPECT_EQ(state.topBonds(FleaReference{id, "Renamed"}, 5).at(0).otherKey, "Pip");

    // A bond whose affection is not a number sorts last.
    state.pairBonds["Pip::Quin"] = FleaPairBond{.affection = std::nan("")};
    EXPECT_EQ(state.topBonds(flea("Pip"), 10).back().otherKey, "Quin");
}

}  // namespace
}  // namespace tw
