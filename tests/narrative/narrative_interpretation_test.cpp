#include <gtest/gtest.h>

#include "narrative_test_support.h"

namespace tw {
namespace {

using namespace narrative_test;
using O = FleaOutcome;
using E = TumblewickEventType;

struct Expected {
    E type;
    std::vector<O> outcomes;
    O dominant;
    std::string tone;
    std::vector<std::string> tags;
    double importance;
};

// Every event on a fresh state with default metrics and context.
TEST(NarrativeInterpretation, EachEventTypeOnAFreshState) {
    const Expected cases[] = {
        {E::performanceSuccess, {O::cleanSuccess}, O::cleanSuccess, "proud", tags({"clean_success"}), 0.641},
        {E::performanceMiss,
         {O::softMiss, O::growthMoment},
         O::growthMoment,
         "wistful",
         tags({"soft_miss", "growth_moment"}),
         0.629},
        {E::nearSuccess, {O::softMiss}, O::softMiss, "wistful", tags({"soft_miss", "near_success"}), 0.593},
        {E::recovery,
         {O::tenderRecovery, O::growthMoment},
         O::tenderRecovery,
         "tender",
         tags({"tender_recovery", "growth_moment", "recovery"}),
         0.653},
        {E::playerAttention,
         {O::spotlightBloom, O::playerSeen},
         O::spotlightBloom,
         "tender",
         tags({"spotlight_bloom", "player_seen", "electric"}),
         0.653},
        {E::playerEncouragement,
         {O::tenderRecovery, O::bondingMoment},
         O::tenderRecovery,
         "tender",
         tags({"tender_recovery", "bonding_moment", "backstage_love"}),
         0.653},
        {E::playerGift,
         {O::spotlightBloom, O::signatureMoment},
         O::signatureMoment,
         "proud",
         tags({"spotlight_bloom", "signature_moment", "gift_received", "signature_move", "electric"}),
         0.6725},
        {E::socialSupport,
         {O::bondingMoment},
         O::bondingMoment,
         "tender",
         tags({"bonding_moment", "backstage_love"}),
         0.641},
        {E::socialRivalry,
         {O::warmRivalry, O::braveAttempt},
         O::warmRivalry,
         "playful",
         tags({"warm_rivalry", "brave_attempt", "backstage_love", "rival_noticed"}),
         0.753},
        {E::duetMoment,
         {O::duetSpark, O::bondingMoment},
         O::duetSpark,
         "brave",
         tags({"duet_spark", "bonding_moment", "backstage_love"}),
         0.653},
        {E::propEvent,
         {O::signatureMoment},
         O::signatureMoment,
         "proud",
         tags({"signature_moment", "signature_move", "electric"}),
         0.6725},
        {E::strangeEvent,
         {O::signatureMoment},
         O::signatureMoment,
         "proud",
         tags({"signature_moment", "omen", "signature_move", "electric"}),
         0.6725},
        {E::promotionEvent,
         {O::signatureMoment, O::spotlightBloom},
         O::signatureMoment,
         "proud",
         tags({"signature_moment", "spotlight_bloom", "signature_move", "electric"}),
         0.6725},
        {E::nicknameEvent,
         {O::signatureMoment, O::spotlightBloom},
         O::signatureMoment,
         "proud",
         tags({"signature_moment", "spotlight_bloom", "title_seed", "signature_move", "electric"}),
         0.6725},
        {E::quietPractice,
         {O::quietResolve},
         O::quietResolve,
         "wistful",
         tags({"quiet_resolve", "quiet_practice"}),
         0.729},
        {E::returnEvent,
         {O::bondingMoment, O::spotlightBloom},
         O::bondingMoment,
         "tender",
         tags({"bonding_moment", "spotlight_bloom", "backstage_love", "cozy", "electric"}),
         0.653},
        {E::signaturePerformed,
         {O::signatureMoment, O::spotlightBloom},
         O::signatureMoment,
         "proud",
         tags({"signature_moment", "spotlight_bloom", "signature_move", "electric"}),
         0.88},
    };
    const FleaNarrativeState fresh;
    for (const Expected& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.type)));
        const FleaInterpretation got = FleaNarrativeEngine::interpret(event(c.type), fresh);
        EXPECT_EQ(got.outcomes, c.outcomes);
        EXPECT_EQ(got.dominantOutcome, c.dominant);
        EXPECT_EQ(got.tone, c.tone);
        EXPECT_EQ(got.memoryTags, c.tags);
        EXPECT_NEAR(got.importance, c.importance, 1e-9);
    }
}

// Context and outcome tags follow the outcome words in a fixed order, each once.
TEST(NarrativeInterpretation, TagRulesInOrder) {
    TumblewickEventRecord miss = event(E::performanceMiss);
    miss.involvedFleas = {flea("Dot")};
    miss.rawResult = {.daring = 0.8, .charm = 0.7, .heart = 0.7, .recovery = 0.7};
    miss.context.tentWarmth = 0.7;
    miss.context.playerAttention = 0.7;
    miss.context.wonder = 0.7;
    miss.context.troupeReaction = 0.7;
    miss.context.primaryFleaTraits = {FleaTrait::superstitionOmenist};
    const FleaInterpretation busy = FleaNarrativeEngine::interpret(miss, {});
    EXPECT_EQ(busy.outcomes, (std::vector<O>{O::tenderRecovery, O::comicBit, O::braveAttempt,
                                             O::spotlightBloom, O::bondingMoment, O::strangeMagic}));
    EXPECT_EQ(busy.dominantOutcome, O::tenderRecovery);
    EXPECT_EQ(busy.memoryTags,
              tags({"tender_recovery", "comic_bit", "brave_attempt", "spotlight_bloom", "bonding_moment",
                    "strange_magic", "player_seen", "togetherness", "bonding", "mysterious", "soft_miss",
                    "backstage_love", "electric", "title_seed", "superstition_reinforced",
                    "affectionate_teasing", "admiration", "protective_bond"}));
    EXPECT_EQ(busy.importance, 1.0);

    TumblewickEventRecord seen = event(E::playerAttention);
    seen.context.attentionLingerSeconds = 6;
    seen.context.tentWarmth = 0.7;
    seen.context.playerPinned = true;
    seen.context.previousEventType = E::performanceSuccess;
    const FleaInterpretation pinned = FleaNarrativeEngine::interpret(seen, {});
    EXPECT_EQ(pinned.outcomes, (std::vector<O>{O::playerSeen, O::signatureMoment}));
    EXPECT_EQ(pinned.dominantOutcome, O::playerSeen);
    EXPECT_EQ(pinned.tone, "tender");
    EXPECT_EQ(pinned.memoryTags, tags({"player_seen", "signature_moment", "togetherness", "signature_move",
                                       "cozy", "electric", "legend_seed"}));

    TumblewickEventRecord mentor = event(E::socialSupport);
    mentor.context.recurrenceCount = 2;
    EXPECT_EQ(FleaNarrativeEngine::interpret(mentor, {}).memoryTags,
              tags({"mentor_bond", "backstage_love", "mentor_support"}));
}

TEST(NarrativeInterpretation, ThresholdsPassOnEqualityAndNeverOnNaN) {
    TumblewickEventRecord e = event(E::performanceSuccess);
    e.rawResult.precision = 0.65;
    e.rawResult.heart = 0.68;
    e.context.wonder = std::nan("");
    const FleaInterpretation got = FleaNarrativeEngine::interpret(e, {});
    EXPECT_EQ(got.outcomes, (std::vector<O>{O::cleanSuccess, O::signatureMoment}));
    EXPECT_EQ(got.dominantOutcome, O::signatureMoment);
    EXPECT_TRUE(std::isfinite(got.importance));
}

TEST(NarrativeInterpretation, ActTablesOverrideTheDefaultPriority) {
    TumblewickEventRecord e = event(E::nearSuccess);
    e.rawResult.daring = 0.7;
    e.context.playerAttention = 0.7;
    for (auto [act, dominant] :
         {std::pair{"cannon", O::braveAttempt}, std::pair{"strongflea", O::bondingMoment},
          std::pair{"strongman", O::braveAttempt}, std::pair{"Strongflea", O::braveAttempt}}) {
        e.act = act;
        const FleaInterpretation got = FleaNarrativeEngine::interpret(e, {});
        EXPECT_EQ(got.outcomes, (std::vector<O>{O::braveAttempt, O::bondingMoment})) << act;
        EXPECT_EQ(got.dominantOutcome, dominant) << act;
    }
    TumblewickEventRecord strange = event(E::strangeEvent, "Pip", "tightrope");
    strange.context.primaryFleaTraits = {FleaTrait::superstitionOmenist};
    EXPECT_EQ(FleaNarrativeEngine::interpret(strange, {}).dominantOutcome, O::omenMemory);
}

TEST(NarrativeInterpretation, TraitsAdjustOutcomesInOrder) {
    TumblewickEventRecord duet = event(E::duetMoment);
    duet.involvedFleas = {flea("Dot")};
    duet.context.primaryFleaTraits = {FleaTrait::socialLoner};
    EXPECT_EQ(FleaNarrativeEngine::interpret(duet, {}).outcomes, std::vector<O>{O::quietResolve});

    duet.context.primaryFleaTraits = {FleaTrait::socialLoner, FleaTrait::socialDuet};
    EXPECT_EQ(FleaNarrativeEngine::interpret(duet, {}).outcomes,
              (std::vector<O>{O::quietResolve, O::duetSpark}));

    // The second pass puts the rival outcomes back after the loner's removal.
    TumblewickEventRecord rival = event(E::socialSupport);
    rival.context.supporterIsRival = true;
    rival.context.primaryFleaTraits = {FleaTrait::socialLoner};
    EXPECT_EQ(FleaNarrativeEngine::interpret(rival, {}).outcomes,
              (std::vector<O>{O::quietResolve, O::duetSpark, O::bondingMoment}));

    TumblewickEventRecord first = event(E::performanceSuccess);
    first.context.primaryFleaTraits = {FleaTrait::ambitionCompetitive, FleaTrait::ambitionCurious};
    first.context.isFirstAttemptOnAct = true;
    const FleaInterpretation got = FleaNarrativeEngine::interpret(first, {});
    EXPECT_EQ(got.outcomes, (std::vector<O>{O::cleanSuccess, O::signatureMoment, O::discoveryMemory}));
    // base 0.95: 0.38 + 0.1425 + 0.15 fresh + 0.08 competitive + 0.1 curious
    EXPECT_NEAR(got.importance, 0.8525, 1e-9);
}

TEST(NarrativeInterpretation, PlayerAttentionSecondPassAndLinger) {
    TumblewickEventRecord e = event(E::playerAttention);
    e.context.attentionLingerSeconds = 5.0;
    e.context.recurrenceCount = 2;
    EXPECT_EQ(FleaNarrativeEngine::interpret(e, {}).outcomes,
              (std::vector<O>{O::playerSeen, O::bondingMoment}));

    e.context.attentionLingerSeconds = 1.0;
    e.context.previousEventType = E::signaturePerformed;
    EXPECT_EQ(FleaNarrativeEngine::interpret(e, {}).outcomes,
              (std::vector<O>{O::bondingMoment, O::playerSeen, O::signatureMoment}));
}

TEST(NarrativeInterpretation, PinningAndSignatureFloors) {
    TumblewickEventRecord pinned = event(E::performanceSuccess);
    pinned.context.playerPinned = true;
    EXPECT_DOUBLE_EQ(FleaNarrativeEngine::interpret(pinned, {}).importance, 1.0);  // 0.88 + 0.15, clamped

    // A pinned soft miss nobody watched can still fall below the floor.
    FleaNarrativeState seen;
    seen.recentEvents.push_back(event(E::nearSuccess, "Dot"));
    TumblewickEventRecord miss = event(E::nearSuccess);
    miss.context.playerPinned = true;
    miss.context.playerAttention = 0.2;
    EXPECT_NEAR(FleaNarrativeEngine::interpret(miss, seen).importance, 0.88 - 0.18, 1e-9);

    TumblewickEventRecord mellow = event(E::signaturePerformed);
    mellow.context.primaryFleaTraits = {FleaTrait::ambitionMellow};
    EXPECT_NEAR(FleaNarrativeEngine::interpret(mellow, {}).importance, 0.83, 1e-9);
}

TEST(NarrativeInterpretation, RepeatedEventsAndFacts) {
    FleaNarrativeState state;
    state.recentEvents.push_back(event(E::performanceSuccess, "Dot"));
    // Not new for the troupe any more: no freshness bonus.
    EXPECT_NEAR(FleaNarrativeEngine::interpret(event(E::performanceSuccess), state).importance, 0.491, 1e-9);

    for (int i = 0; i < 10; ++i) {
        TumblewickEventRecord earlier = event(E::performanceSuccess);
        earlier.fact = "The bell rang.";
        state.recentEvents.push_back(earlier);
    }
    TumblewickEventRecord now = event(E::performanceSuccess);
    now.fact = "The bell rang.";
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, state).importance, 0.691, 1e-9);  // capped at +0.2

    // Two fleas without ids have equal (absent) ids, so they count as the same flea here,
    // whatever their names.
    now.primaryFlea = flea("Nova");
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, state).importance, 0.691, 1e-9);

    // An id against no id: only the name can match.
    const Uuid novaId = Uuid::random();
    now.primaryFlea = FleaReference{novaId, "Nova"};
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, state).importance, 0.491, 1e-9);
    now.primaryFlea = FleaReference{novaId, "Pip"};
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, state).importance, 0.691, 1e-9);

    // Equal ids match under different names; different ids under different names do not.
    FleaNarrativeState withIds;
    withIds.recentEvents.push_back(event(E::performanceSuccess, "Dot"));
    for (int i = 0; i < 2; ++i) {
        TumblewickEventRecord earlier = event(E::performanceSuccess);
        earlier.primaryFlea = FleaReference{novaId, "Nova the Elder"};
        earlier.fact = "The bell rang.";
        withIds.recentEvents.push_back(earlier);
    }
    now.primaryFlea = FleaReference{novaId, "Nova"};
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, withIds).importance, 0.591, 1e-9);  // 2 x 0.05
    now.primaryFlea = FleaReference{Uuid::random(), "Nova"};
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, withIds).importance, 0.491, 1e-9);

    // The event itself does not count as its own repeat.
    FleaNarrativeState self;
    self.recentEvents.push_back(now);
    self.recentEvents.push_back(event(E::recovery));
    EXPECT_NEAR(FleaNarrativeEngine::interpret(now, self).importance, 0.491, 1e-9);
}

TEST(NarrativeInterpretation, NaNMetricsGiveZeroNotNaN) {
    TumblewickEventRecord e = event(E::nearSuccess);
    e.rawResult.heart = std::nan("");
    EXPECT_EQ(FleaNarrativeEngine::interpret(e, {}).importance, 0.0);
}

TEST(NarrativeInterpretation, DecayedImportance) {
    const Date created{1000.0};
    EXPECT_NEAR(FleaNarrativeEngine::decayedImportance(0.8, created, created.adding(2592000)), 0.76, 1e-12);
    EXPECT_EQ(FleaNarrativeEngine::decayedImportance(0.8, created, created), 0.8);
    EXPECT_EQ(FleaNarrativeEngine::decayedImportance(0.8, created.adding(5e9), created), 0.8);
    EXPECT_EQ(FleaNarrativeEngine::decayedImportance(0.8, Date{std::nan("")}, created), 0.8);
    EXPECT_EQ(FleaNarrativeEngine::decayedImportance(0.8, Date{-1e300}, created), 0.0);
}

}  // namespace
}  // namespace tw
