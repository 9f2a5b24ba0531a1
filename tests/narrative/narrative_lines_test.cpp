#include <gtest/gtest.h>

#include <limits>

#include "narrative/dialogue_library.h"
#include "narrative_test_support.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

using namespace narrative_test;
using O = FleaOutcome;
using E = TumblewickEventType;

FleaDialogue linesFor(O dominant, std::vector<FleaReference> partners = {}, std::vector<O> outcomes = {}) {
    TumblewickEventRecord e = event(E::performanceSuccess);
    e.involvedFleas = std::move(partners);
    if (outcomes.empty()) outcomes = {dominant};
    return FleaNarrativeEngine::generateDialogue(e, FleaInterpretation{outcomes, dominant, {}, "", 0.5},
                                                 std::nullopt);
}

TEST(NarrativeDialogue, OtherFleaSubstitutes) {
    const FleaDialogue alone = linesFor(O::bondingMoment);
    EXPECT_EQ(alone.thoughtBubble, "someone waited.");
    EXPECT_EQ(alone.relationshipLine, "someone is steadier than the wire.");
    const FleaDialogue together = linesFor(O::mentorBond, {flea("Dot"), flea("Zed")});
    EXPECT_EQ(together.thoughtBubble, "Dot waited.");
    EXPECT_EQ(together.relationshipLine, "Dot is steadier than the wire.");
    EXPECT_EQ(together.suggestedIdentityNudge, "trust");

    EXPECT_EQ(linesFor(O::duetSpark).relationshipLine, "we caught the timing with me.");
    EXPECT_EQ(linesFor(O::duetSpark, {flea("")}).relationshipLine, " caught the timing with me.");
    EXPECT_EQ(linesFor(O::comicBit).relationshipLine, std::nullopt);
    EXPECT_EQ(linesFor(O::comicBit, {flea("Dot")}).relationshipLine,
              "Dot laughed with me. I am counting that.");
    EXPECT_EQ(linesFor(O::tenderRecovery, {flea("Dot")}).relationshipLine,
              "Dot saw the recovery, not the wobble.");
}

TEST(NarrativeDialogue, BankRowsGossipTitleAndNudge) {
    for (O outcome : allCases<O>()) {
        const auto lines = DialogueLibrary::lines(outcome, std::nullopt);
        const bool strange = outcome == O::strangeMagic || outcome == O::omenMemory || outcome == O::mythSeed;
        EXPECT_EQ(lines.gossip.has_value(), strange) << rawValue(outcome);
        EXPECT_FALSE(lines.thought.empty());
    }
    EXPECT_EQ(DialogueLibrary::lines(O::mythSeed, std::nullopt).gossip, "The shadow applauded. I saw it.");
    EXPECT_EQ(DialogueLibrary::lines(O::discoveryMemory, std::nullopt).diary,
              "The first time felt strange and wonderful \xE2\x80\x94 and then it felt like mine.");
    EXPECT_EQ(DialogueLibrary::lines(O::playerSeen, std::nullopt),
              DialogueLibrary::lines(O::spotlightBloom, std::nullopt));

    const FleaDialogue brave = linesFor(O::braveAttempt, {}, {O::braveAttempt, O::signatureMoment});
    EXPECT_EQ(brave.thoughtBubble, "Almost is flying.");
    EXPECT_EQ(brave.suggestedIdentityNudge, "daring");
    EXPECT_EQ(brave.titleLine, "A little name began glowing backstage.");
    EXPECT_EQ(brave.returnLine, std::nullopt);
    EXPECT_EQ(linesFor(O::discoveryMemory).suggestedIdentityNudge, "curiosity_rewarded");
    EXPECT_EQ(FleaNarrativeEngine::diaryVerb(O::mythSeed), "saw something nobody else did");
}

TEST(NarrativeDialogue, ReturnSetAndStorage) {
    TumblewickEventRecord back = event(E::returnEvent);
    back.involvedFleas = {flea("Dot")};
    const FleaDialogue lines =
        FleaNarrativeEngine::generateDialogue(back, FleaNarrativeEngine::interpret(back, {}), std::nullopt);
    EXPECT_EQ(lines,
              (FleaDialogue{"You came back.", "The spotlight remembered you.",
                            "The tent kept humming, and then your footsteps joined it.", std::nullopt,
                            "The player's return warmed the circus.", "The tent remembered your footsteps.",
                            std::nullopt, std::nullopt, "bond_with_player"}));

    FleaNarrativeState state;
    FleaNarrativeEngine::store(lines, flea("Pip"), state);
    EXPECT_TRUE(state.lastDialogueByFleaID.empty());
    const FleaReference withId{Uuid::random(), "Dot"};
    FleaNarrativeEngine::store(lines, withId, state);
    EXPECT_EQ(state.lastDialogueByFleaID.size(), 1u);
    EXPECT_EQ(state.latestDialogue(FleaReference{Uuid::random(), "Pip"}),
              lines);  // unknown id: the name entry
    EXPECT_EQ(state.latestDialogue(flea("Nova")), std::nullopt);
}

TEST(DiarySentences, TrimRepeatsAndDailyCap) {
    const Calendar utc("UTC");
    const Date noon{783777600.0};  // 2025-11-02 12:00 UTC
    FleaNarrativeState state;
    EXPECT_EQ(FleaNarrativeEngine::appendDiarySentence(" \n\t ", state, noon, utc), "");
    EXPECT_TRUE(state.diaryByDay.empty());

    EXPECT_EQ(FleaNarrativeEngine::appendDiarySentence("  One.\n", state, noon, utc), "2025-11-02");
    EXPECT_EQ(FleaNarrativeEngine::appendDiarySentence("One.", state, noon, utc), "2025-11-02");
    EXPECT_EQ(state.diaryByDay["2025-11-02"], tags({"One."}));

    for (const char* s : {"Two.", "Three.", "Four.", "Five.", "Six."})
        FleaNarrativeEngine::appendDiarySentence(s, state, noon, utc);
    FleaNarrativeEngine::appendDiarySentence("One.", state, noon, utc);  // sixth newest: filed again
    EXPECT_EQ(state.diaryParagraphFor("2025-11-02"), "One. Two. Three. Four. Five. Six. One.");
    EXPECT_EQ(state.diaryParagraphFor("2025-11-03"), "");

    FleaNarrativeEngine::appendDiarySentence("Elsewhere.", state, noon.adding(86400), utc);
    for (int i = 0; i < 13; ++i)
        FleaNarrativeEngine::appendDiarySentence("Line " + std::to_string(i) + ".", state, noon, utc);
    const auto& day = state.diaryByDay["2025-11-02"];
    ASSERT_EQ(day.size(), 12u);
    EXPECT_EQ(day.front(), "Line 1.");
    EXPECT_EQ(day.back(), "Line 12.");
    EXPECT_EQ(state.diaryByDay["2025-11-03"], tags({"Elsewhere."}));

    // A moment on no calendar day files nothing rather than inventing a day "".
    FleaNarrativeState untouched;
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(FleaNarrativeEngine::appendDiarySentence("Lost.", untouched, Date{bad}, utc), "");
    EXPECT_TRUE(untouched.diaryByDay.empty());
}

TEST(DiarySentences, DaysFollowTheCalendarsOwnZone) {
    // 04:30 UTC and 24 hours later: both on New York's 25-hour 2 November, two days in Tokyo.
    const Date first{783750600.0};
    const Date second = first.adding(24 * 3600);
    testing::ManualClock clock{first};
    for (auto [zone, keys] : {std::pair{"America/New_York", tags({"2025-11-02"})},
                              std::pair{"Asia/Tokyo", tags({"2025-11-02", "2025-11-03"})}}) {
        const FleaNarrativeEngine engine{clock, Calendar(zone)};
        FleaNarrativeState state;
        engine.process(event(E::performanceSuccess, "Pip", "trapeze", first), state);
        engine.process(event(E::performanceMiss, "Pip", "trapeze", second), state);
        std::vector<std::string> got;
        for (const auto& [key, sentences] : state.diaryByDay) got.push_back(key);
        EXPECT_EQ(got, keys) << zone;
        if (got.size() == 1) {
            EXPECT_EQ(state.diaryParagraphFor(got[0]),
                      "Tonight my feet knew the song before I did. My feet found the little answer hiding in "
                      "the turn.");
        }
    }
}

class FleaConversations : public ::testing::Test {
   protected:
    testing::ManualClock clock{Date{1000}};
    FleaNarrativeEngine engine{clock, Calendar("UTC")};
    FleaNarrativeState state;
};

TEST_F(FleaConversations, ScriptAndBond) {
    const FleaConversationExchange talk =
        engine.triggerConversation(flea("Pip"), flea("Dot"), state, "the ring", 7);
    EXPECT_EQ(talk.lines, (std::vector<FleaConversationLine>{{"Pip", "Dot is steadier than the wire."},
                                                             {"Dot", "Pip is steadier than the wire."},
                                                             {"Pip", "The audience stayed with me."}}));
    EXPECT_EQ(talk.participants, (std::vector<FleaReference>{flea("Pip"), flea("Dot")}));
    EXPECT_EQ(talk.outcome, "bonding_moment");
    EXPECT_EQ(talk.setting, "the ring");
    EXPECT_EQ(talk.createdAt, Date{1000});
    EXPECT_EQ(state.conversations, std::vector<FleaConversationExchange>{talk});

    const FleaPairBond& bond = state.pairBonds.at("Dot::Pip");
    EXPECT_NEAR(bond.affection, 0.28, 1e-12);
    EXPECT_EQ(bond.interactionCount, 1);
    EXPECT_EQ(bond.lastInteraction, talk.createdAt);
    EXPECT_EQ(bond.lastDialogueLine, "The audience stayed with me.");
    EXPECT_TRUE(state.relationshipAffection.empty());
    EXPECT_TRUE(state.memories.empty());

    const FleaConversationExchange other =
        engine.triggerConversation(flea("Pip"), flea("Dot"), state, "the ring", 99);
    EXPECT_EQ(other.lines, talk.lines);
    EXPECT_NE(other, talk);

    state.pairBonds.at("Dot::Pip").affection = 0.95;
    engine.triggerConversation(flea("Dot"), flea("Pip"), state);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").affection, 1.0);

    // Whatever the bond held, the warmed affection stays within 0..1.
    state.pairBonds.at("Dot::Pip").affection = -0.5;
    engine.triggerConversation(flea("Dot"), flea("Pip"), state);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").affection, 0.0);
    state.pairBonds.at("Dot::Pip").affection = std::numeric_limits<double>::quiet_NaN();
    engine.triggerConversation(flea("Dot"), flea("Pip"), state);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").affection, 0.0);
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").interactionCount, 5);
}

TEST_F(FleaConversations, LeavesPairAffectionOfEventsAlone) {
    TumblewickEventRecord duet = event(TumblewickEventType::duetMoment, "Pip", "trapeze", Date{900});
    duet.involvedFleas = {flea("Dot")};
    engine.process(duet, state);
    const double affection = state.relationshipAffection.at("Dot::Pip");
    const FleaPairBond before = state.pairBonds.at("Dot::Pip");
    const auto memories = state.memories;
    const auto diary = state.diaryByDay;

    engine.triggerConversation(flea("Dot"), flea("Pip"), state);
    EXPECT_EQ(state.relationshipAffection.at("Dot::Pip"), affection);
    const FleaPairBond& after = state.pairBonds.at("Dot::Pip");
    EXPECT_NEAR(after.affection, before.affection + 0.08, 1e-12);
    EXPECT_EQ(after.interactionCount, before.interactionCount + 1);
    EXPECT_EQ(after.lastInteraction, Date{1000});
    EXPECT_EQ(state.memories, memories);
    EXPECT_EQ(state.diaryByDay, diary);
}

TEST_F(FleaConversations, KeepsTheLastTwentyAndQueriesByName) {
    std::vector<FleaConversationExchange> held;
    for (int i = 0; i < 21; ++i) {
        clock.set(Date{1000.0 + i});
        held.push_back(engine.triggerConversation(flea(i % 2 ? "Pip" : "Dot"), flea("Zed"), state));
    }
    ASSERT_EQ(state.conversations.size(), 20u);
    EXPECT_EQ(state.conversations.front(), held[1]);
    EXPECT_EQ(state.conversations.back(), held[20]);

    const auto pip = state.conversationsForFlea("Pip");
    ASSERT_EQ(pip.size(), 5u);
    EXPECT_EQ(pip[0], held[19]);
    EXPECT_EQ(pip[4], held[11]);
    EXPECT_EQ(state.conversationsForFlea("Zed", 100).size(), 20u);
    EXPECT_TRUE(state.conversationsForFlea("Pip", 0).empty());
    EXPECT_TRUE(state.conversationsForFlea("Pip", -1).empty());
    EXPECT_TRUE(state.conversationsForFlea("pip").empty());

    FleaNarrativeState alone;
    engine.triggerConversation(flea("Solo"), flea("Solo"), alone);
    EXPECT_EQ(alone.conversationsForFlea("Solo").size(), 1u);
    EXPECT_EQ(alone.conversations[0].lines[0].text, "Solo is steadier than the wire.");
    EXPECT_EQ(alone.pairBonds.count("Solo::Solo"), 1u);
}

}  // namespace
}  // namespace tw
