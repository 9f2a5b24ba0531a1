#include <gtest/gtest.h>

#include <limits>

#include "narrative_test_support.h"
#include "platform/testing/manual_clock.h"

namespace tw {
namespace {

using namespace narrative_test;
using O = FleaOutcome;
using E = TumblewickEventType;

// 2025-11-02 04:30 UTC: just after midnight in New York on its 25-hour day.
constexpr Date kShowNight{783750600.0};

struct Thought {
    std::string line;
    std::string fleaName;
    Date at;
    std::string zone;
};

class NarrativeProcessing : public ::testing::Test {
   protected:
    testing::ManualClock clock{Date{kShowNight.seconds + 3600}};
    std::vector<Thought> thoughts;
    FleaNarrativeEngine engine{
        clock, Calendar("America/New_York"),
        [this](const std::string& line, const std::string& name, Date at, const Calendar& cal) {
            thoughts.push_back({line, name, at, cal.timeZoneId()});
        }};
    FleaNarrativeState state;

    TumblewickEventRecord at(E type, double minutes, const std::string& name = "Pip") {
        return event(type, name, "trapeze", kShowNight.adding(minutes * 60));
    }
};

TEST_F(NarrativeProcessing, OneEveningEndToEnd) {
    // A clean success: a memory, its diary sentence and the thought in the pulse.
    const FleaNarrativeResult success = engine.process(at(E::performanceSuccess, 0), state);
    ASSERT_TRUE(success.memory);
    EXPECT_EQ(success.memory->tier, FleaMemoryTier::recent);
    EXPECT_EQ(success.memory->summaryFact, "Pip landed a clean trapeze pass.");
    EXPECT_EQ(success.dialogue.thoughtBubble, "Clean as a bell.");
    ASSERT_EQ(thoughts.size(), 1u);
    EXPECT_EQ(thoughts[0].line, "Clean as a bell.");
    EXPECT_EQ(thoughts[0].fleaName, "Pip");
    EXPECT_EQ(thoughts[0].at, clock.now());  // the wall clock, not the event's time
    EXPECT_EQ(thoughts[0].zone, "America/New_York");

    // A miss: growth leads.
    const FleaNarrativeResult miss = engine.process(at(E::performanceMiss, 10), state);
    EXPECT_EQ(miss.interpretation.dominantOutcome, O::growthMoment);
    EXPECT_EQ(miss.dialogue.diaryLine, "My feet found the little answer hiding in the turn.");

    // A duet with Dot: a bond appears and the line names the partner.
    TumblewickEventRecord duet = at(E::duetMoment, 20);
    duet.involvedFleas = {flea("Dot")};
    const FleaNarrativeResult duetResult = engine.process(duet, state);
    EXPECT_EQ(duetResult.dialogue.relationshipLine, "Dot caught the timing with me.");
    EXPECT_NEAR(state.pairBonds.at("Dot::Pip").affection, 0.28, 1e-12);
    EXPECT_EQ(duetResult.memory->tier, FleaMemoryTier::season);

    // Social support: the duet memory becomes a friendship memory.
    TumblewickEventRecord support = at(E::socialSupport, 30);
    support.involvedFleas = {flea("Dot")};
    const FleaNarrativeResult supportResult = engine.process(support, state);
    EXPECT_EQ(supportResult.dialogue.thoughtBubble, "Dot waited.");
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").lastDialogueLine, "Pip lets Dot catch the eye.");
    EXPECT_EQ(state.pairBonds.at("Dot::Pip").interactionCount, 2);
    EXPECT_NEAR(state.relationshipAffection.at("Dot::Pip"), 0.34, 1e-12);
    const auto duetMemory = std::find_if(state.memories.begin(), state.memories.end(),
                                         [&](const FleaMemory& m) { return m.sourceEventID == duet.id; });
    ASSERT_NE(duetMemory, state.memories.end());
    EXPECT_TRUE(duetMemory->hasTag("friendship_memory"));
    EXPECT_EQ(duetMemory->emotionalMeaning, "The duet became a habit of trust.");
    EXPECT_NEAR(duetMemory->importance, duetResult.memory->importance + 0.08, 1e-12);

    // A return: the fixed return set, whatever the outcomes.
    const FleaNarrativeResult back = engine.process(at(E::returnEvent, 40), state);
    EXPECT_EQ(back.dialogue.returnLine, "The tent remembered your footsteps.");
    EXPECT_EQ(thoughts.back().line, "You came back.");

    // A signature move: the old clean success becomes part of it.
    const FleaNarrativeResult signature = engine.process(at(E::signaturePerformed, 50), state);
    EXPECT_EQ(signature.memory->tier, FleaMemoryTier::longTerm);
    EXPECT_EQ(signature.dialogue.titleLine, "A little name began glowing backstage.");
    const FleaMemory& first = state.memories.front();
    EXPECT_EQ(first.sourceEventID, success.event.id);
    EXPECT_TRUE(first.hasTag("signature_move"));
    EXPECT_EQ(first.tier, FleaMemoryTier::longTerm);
    EXPECT_EQ(first.emotionalMeaning, "Tonight's win was the same shape as the old one.");

    EXPECT_EQ(state.memories.size(), 6u);
    EXPECT_EQ(state.recentEvents.size(), 6u);
    EXPECT_EQ(thoughts.size(), 6u);
    EXPECT_EQ(state.latestDialogue(flea("Pip")), signature.dialogue);
    EXPECT_EQ(state.loveStatsByFleaName.size(), 1u);  // partners' own statistics are untouched
    ASSERT_EQ(state.diaryByDay.size(), 1u);
    EXPECT_EQ(state.diaryByDay.begin()->first, "2025-11-02");
    EXPECT_EQ(state.diaryByDay.begin()->second.size(), 6u);
    EXPECT_TRUE(state.conversations.empty());
    EXPECT_TRUE(state.troupeMyths.empty());
}

TEST_F(NarrativeProcessing, BelowTheGateNoMemoryNoDiaryButEverythingElse) {
    state.recentEvents.push_back(at(E::nearSuccess, -5, "Dot"));
    TumblewickEventRecord quiet = at(E::nearSuccess, 0);
    quiet.context.playerAttention = 0.2;
    const FleaNarrativeResult result = engine.process(quiet, state);
    EXPECT_LT(result.interpretation.importance, 0.45);
    EXPECT_FALSE(result.memory);
    EXPECT_TRUE(state.memories.empty());
    EXPECT_TRUE(state.diaryByDay.empty());
    EXPECT_EQ(state.recentEvents.back(), quiet);
    EXPECT_TRUE(state.latestDialogue(flea("Pip")));
    EXPECT_EQ(thoughts.size(), 1u);
    EXPECT_EQ(state.loveStatsByFleaName.count("Pip"), 1u);
}

TEST_F(NarrativeProcessing, MomentOnNoCalendarDayStillRunsToTheEnd) {
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        const TumblewickEventRecord lost = event(E::performanceSuccess, "Pip", "trapeze", Date{bad});
        EXPECT_TRUE(engine.process(lost, state).memory);
    }
    EXPECT_TRUE(state.diaryByDay.empty());  // no invented day ""
    EXPECT_EQ(state.recentEvents.size(), 2u);
    EXPECT_EQ(thoughts.size(), 2u);

    // The next ordinary event still finds its own day.
    engine.process(at(E::performanceSuccess, 0), state);
    EXPECT_EQ(state.diaryParagraphFor("2025-11-02"), "Tonight my feet knew the song before I did.");
}

TEST_F(NarrativeProcessing, WindowsAndCaps) {
    std::vector<TumblewickEventRecord> sent;
    for (int i = 0; i < 31; ++i) {
        sent.push_back(at(E::quietPractice, i));
        engine.process(sent.back(), state);
    }
    ASSERT_EQ(state.recentEvents.size(), 30u);
    EXPECT_EQ(state.recentEvents.front(), sent[1]);
    EXPECT_EQ(state.recentEvents.back(), sent[30]);

    // A memory that ranks below the 80 kept is dropped at once, yet returned and filed in the diary.
    FleaNarrativeState full;
    for (int i = 0; i < 80; ++i) {
        FleaMemory strong;
        strong.flea = flea("Dot");
        strong.tier = FleaMemoryTier::legend;
        strong.importance = 1.0;
        strong.createdAt = Date{static_cast<double>(i)};
        full.memories.push_back(strong);
    }
    const FleaNarrativeResult result = engine.process(at(E::performanceSuccess, 0), full);
    ASSERT_TRUE(result.memory);
    EXPECT_EQ(full.memories.size(), 80u);
    EXPECT_EQ(std::count(full.memories.begin(), full.memories.end(), *result.memory), 0);
    EXPECT_EQ(full.diaryParagraphFor("2025-11-02"), "Tonight my feet knew the song before I did.");
}

TEST_F(NarrativeProcessing, StrangeFactSeenByThreeFleasBecomesAMyth) {
    auto sighting = [&](const std::string& name, double minutes) {
        TumblewickEventRecord strange = at(E::strangeEvent, minutes, name);
        strange.fact = "The Silver Bell rang by itself";
        return strange;
    };
    // Only strange events are weighed for myths, however many fleas share another kind's fact.
    for (const char* name : {"Ada", "Bo", "Cy"}) {
        TumblewickEventRecord prop = at(E::propEvent, -10, name);
        prop.fact = "The Silver Bell rang by itself";
        engine.process(prop, state);
    }
    EXPECT_TRUE(state.troupeMyths.empty());

    engine.process(sighting("Pip", 0), state);
    engine.process(sighting("Pip", 5), state);
    engine.process(sighting("Dot", 10), state);
    EXPECT_TRUE(state.troupeMyths.empty());
    const TumblewickEventRecord third = sighting("Nova", 20);
    engine.process(third, state);
    ASSERT_EQ(state.troupeMyths.size(), 1u);
    const TroupeMyth& myth = state.troupeMyths[0];
    EXPECT_EQ(myth.motif, "The Silver Bell rang by itself");
    EXPECT_EQ(myth.originDate, third.occurredAt);
    EXPECT_TRUE(myth.witnessFleaIDs.empty());
    std::vector<std::string> names = myth.witnessFleaNames;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, tags({"Dot", "Nova", "Pip"}));
    EXPECT_EQ(myth.dialogueLine,
              "The troupe agrees: when the silver bell rang by itself, it means tomorrow will be kinder.");

    engine.process(sighting("Zed", 30), state);  // a fourth witness changes nothing
    EXPECT_EQ(state.troupeMyths.size(), 1u);
    EXPECT_EQ(state.troupeMyths[0], myth);

    // Earlier events with the same fact also weigh in the importance. None of these fleas has
    // an id, so all eight earlier ones (of any type) count as the same flea: capped at +0.2.
    TumblewickEventRecord again = sighting("Pip", 40);
    const double withRepeats = FleaNarrativeEngine::interpret(again, state).importance;
    again.fact = "Something else";
    EXPECT_NEAR(withRepeats - FleaNarrativeEngine::interpret(again, state).importance, 0.2, 1e-9);
}

TEST(TroupeMyths, WindowIdentityAndRefusals) {
    auto sighting = [](FleaReference who, double at, const std::string& fact = "Rain on the tent") {
        TumblewickEventRecord e = event(E::strangeEvent, who.name, "cannon", Date{at});
        e.primaryFlea = who;
        e.fact = fact;
        return e;
    };
    const double now = 2000000.0;
    auto promote = [&](std::vector<TumblewickEventRecord> earlier, const TumblewickEventRecord& e) {
        FleaNarrativeState state;
        state.recentEvents = std::move(earlier);
        state.recentEvents.push_back(e);
        FleaNarrativeEngine::promoteTroupeMythIfReady(e, state);
        return state.troupeMyths.size();
    };
    const auto pip = flea("Pip"), dot = flea("Dot"), nova = flea("Nova");
    EXPECT_EQ(promote({sighting(pip, now - 604800), sighting(dot, now - 1)}, sighting(nova, now)), 1u);
    EXPECT_EQ(promote({sighting(pip, now - 604801), sighting(dot, now - 1)}, sighting(nova, now)), 0u);
    EXPECT_EQ(promote({sighting(pip, now - 5), sighting(pip, now - 1)}, sighting(pip, now)), 0u);
    EXPECT_EQ(promote({sighting(pip, now - 5, ""), sighting(dot, now - 1, "")}, sighting(nova, now, "")), 0u);
    EXPECT_EQ(
        promote({sighting(pip, now - 5, "rain on the tent"), sighting(dot, now - 1)}, sighting(nova, now)),
        0u);

    TumblewickEventRecord other = sighting(dot, now - 1);
    other.type = E::propEvent;
    EXPECT_EQ(promote({sighting(pip, now - 5), other}, sighting(nova, now)), 0u);

    const Uuid id = Uuid::random();
    EXPECT_EQ(promote({sighting({id, "Pip"}, now - 5), sighting({id, "Pippa"}, now - 1)},
                      sighting({id, "Pipsqueak"}, now)),
              1u);
}

}  // namespace
}  // namespace tw
