#include "agent/host/shared_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/log.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

// 2026-03-10 12:00 in Berlin (UTC+1); the next local day starts 12 hours later.
const Date kNoon = Date::fromUnix(1773140400.0);

class PulseTest : public ::testing::Test {
   protected:
    testing::InMemoryDefaults suite;
    SharedStore store{suite};
    Calendar berlin{"Europe/Berlin"};

    AgentPulse stored() const {
        const auto text = suite.dataStringForKey(SharedStore::agentPulseKey);
        EXPECT_TRUE(text);
        const OrderedJson json = parseJson(text.value_or("{}"));
        AgentPulse pulse;
        fromJson(JsonReader(json), pulse);
        return pulse;
    }
};

TEST_F(PulseTest, DecisionsCountPerFleaAndTheLatestLeaderTakesTheTop) {
    store.recordAgentDecision("A", "sit", false, kNoon, berlin);
    auto pulse = stored();
    EXPECT_EQ(pulse.decisionCount, 1);
    EXPECT_EQ(pulse.topFleaName, "A");
    EXPECT_EQ(pulse.topFleaCount, 1);
    EXPECT_EQ(pulse.perFleaDecisions, (std::map<std::string, std::int64_t>{{"A", 1}}));
    EXPECT_EQ(pulse.lastThought, "");

    store.recordAgentDecision("B", "attempt_bit", true, kNoon.adding(1), berlin);
    store.recordAgentDecision("B", "sit", false, kNoon.adding(2), berlin);
    store.recordAgentDecision("A", "applaud", false, kNoon.adding(3), berlin);
    pulse = stored();
    EXPECT_EQ(pulse.topFleaName, "A");
    EXPECT_EQ(pulse.topFleaCount, 2);
    EXPECT_EQ(pulse.decisionCount, 4);
    EXPECT_EQ(pulse.initiativeCount, 1);
    EXPECT_EQ(pulse.lastIntent, "applaud");
    EXPECT_EQ(pulse.updatedAt, kNoon.adding(3));
}

TEST_F(PulseTest, ANewLocalDayStartsOver) {
    store.recordAgentDecision("A", "sit", true, kNoon, berlin);
    store.recordAgentThought("hello", "A", kNoon, berlin);
    const Date pastMidnight = kNoon.adding(12 * 3600 + 60);  // 00:01 local, still the 10th in UTC
    EXPECT_TRUE(store.loadAgentPulse(kNoon, berlin));
    EXPECT_FALSE(store.loadAgentPulse(pastMidnight, berlin));

    store.recordAgentDecision("B", "sleep", false, pastMidnight, berlin);
    auto pulse = stored();
    EXPECT_EQ(pulse.decisionCount, 1);
    EXPECT_EQ(pulse.initiativeCount, 0);
    EXPECT_EQ(pulse.perFleaDecisions.size(), 1u);
    EXPECT_EQ(pulse.lastThought, "");
    EXPECT_EQ(pulse.topFleaName, "B");

    store.recordAgentThought("new day", "C", pastMidnight.adding(86400), berlin);
    pulse = stored();
    EXPECT_EQ(pulse.decisionCount, 0);
    EXPECT_EQ(pulse.lastIntent, "");
    EXPECT_EQ(pulse.lastThought, "new day");
}

TEST_F(PulseTest, ThoughtsAreCutAndEmptyOnesChangeNothing) {
    std::string longLine;
    for (int i = 0; i < 200; ++i) longLine += "\xC3\xA9";  // two bytes, one character
    store.recordAgentThought(longLine, "A", kNoon, berlin);
    EXPECT_EQ(stored().lastThought.size(), 360u);

    const auto before = suite.dataStringForKey(SharedStore::agentPulseKey);
    store.recordAgentThought("", "A", kNoon.adding(5 * 86400), berlin);
    EXPECT_EQ(suite.dataStringForKey(SharedStore::agentPulseKey), before);

    store.clearAgentPulse();
    EXPECT_FALSE(suite.hasKey(SharedStore::agentPulseKey));
    EXPECT_FALSE(store.loadAgentPulse(kNoon, berlin));
}

TEST_F(PulseTest, EmptyPulseLoadsAsNothing) {
    AgentPulse empty;
    empty.updatedAt = kNoon;
    suite.setData(SharedStore::agentPulseKey, dumpJson(toJson(empty)));
    EXPECT_FALSE(store.loadAgentPulse(kNoon, berlin));
}

// The pulse is a status rewritten on every decision, not the user's data: an
// unreadable one is simply replaced, without a word.
TEST_F(PulseTest, UnreadablePulseCountsAsNoneAndIsOverwrittenSilently) {
    std::vector<std::string> logged;
    log::setSinkForTesting([&](std::string_view line) { logged.emplace_back(line); });
    suite.setData(SharedStore::agentPulseKey, R"({"topFleaName":"A"})");
    EXPECT_FALSE(store.loadAgentPulse(kNoon, berlin));
    store.recordAgentDecision("B", "sit", false, kNoon, berlin);
    log::setSinkForTesting(nullptr);

    EXPECT_EQ(stored().decisionCount, 1);
    suite.flush();
    EXPECT_EQ(suite.flushedValues().size(), 1u);  // only the pulse's own key
    EXPECT_TRUE(logged.empty()) << logged.front();
}

TEST_F(PulseTest, CountsAtTheTopOfTheRangeStayThereInsteadOfWrapping) {
    AgentPulse full;
    full.decisionCount = std::numeric_limits<std::int64_t>::max();
    full.initiativeCount = std::numeric_limits<std::int64_t>::max();
    full.topFleaName = "A";
    full.topFleaCount = std::numeric_limits<std::int64_t>::max();
    full.perFleaDecisions["A"] = std::numeric_limits<std::int64_t>::max();
    full.updatedAt = kNoon;
    suite.setData(SharedStore::agentPulseKey, dumpJson(toJson(full)));

    store.recordAgentDecision("A", "attempt_bit", true, kNoon.adding(1), berlin);
    const auto pulse = stored();
    EXPECT_EQ(pulse.decisionCount, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(pulse.initiativeCount, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(pulse.perFleaDecisions.at("A"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(pulse.topFleaName, "A");
    EXPECT_EQ(pulse.lastIntent, "attempt_bit");
}

TEST_F(PulseTest, EachRecordBuildsOnWhatIsStoredNowEvenWhenAnotherWriterChangedIt) {
    store.recordAgentDecision("A", "sit", false, kNoon, berlin);
    // Another writer of the group suite replaces the pulse between two decisions.
    AgentPulse other;
    other.decisionCount = 10;
    other.perFleaDecisions["B"] = 10;
    other.topFleaName = "B";
    other.topFleaCount = 10;
    other.updatedAt = kNoon;
    suite.setData(SharedStore::agentPulseKey, dumpJson(toJson(other)));
    store.recordAgentDecision("A", "sit", false, kNoon.adding(1), berlin);
    auto pulse = stored();
    EXPECT_EQ(pulse.decisionCount, 11);
    EXPECT_EQ(pulse.perFleaDecisions, (std::map<std::string, std::int64_t>{{"A", 1}, {"B", 10}}));

    // A name with broken bytes counts under the one repaired name that is stored.
    store.recordAgentDecision("N\xff", "sit", false, kNoon.adding(2), berlin);
    store.recordAgentDecision("N\xff", "sit", false, kNoon.adding(3), berlin);
    pulse = stored();
    EXPECT_EQ(pulse.perFleaDecisions.at("N\xEF\xBF\xBD"), 2);
    EXPECT_EQ(store.loadAgentPulse(kNoon.adding(3), berlin), pulse);
}

TEST(PulseJson, EveryKeyIsRequiredAndTyped) {
    const auto decode = [](const std::string& text) {
        const OrderedJson json = parseJson(text);
        AgentPulse pulse;
        fromJson(JsonReader(json), pulse);
        return pulse;
    };
    const std::string good =
        R"({"topFleaName":"A","topFleaCount":1,"lastIntent":"sit","lastIntentFleaName":"A","lastThought":"",)"
        R"("lastThoughtFleaName":"","decisionCount":1,"initiativeCount":0,"updatedAt":794836800.5,)"
        R"("perFleaDecisions":{"A":1}})";
    EXPECT_EQ(decode(good).updatedAt, Date{794836800.5});
    try {
        decode(
            R"({"topFleaName":"A","topFleaCount":1,"lastIntent":"sit","lastIntentFleaName":"A","lastThought":"",)"
            R"("lastThoughtFleaName":"","decisionCount":1,"initiativeCount":0,"updatedAt":1,"perFleaDecisions":null})");
        ADD_FAILURE() << "a null map decoded";
    } catch (const JsonDecodeError& error) {
        EXPECT_EQ(error.kind(), JsonErrorKind::valueNotFound);
        EXPECT_EQ(error.path(), "perFleaDecisions");
    }
    EXPECT_THROW(decode(R"({"topFleaName":"A"})"), JsonDecodeError);
}

TEST(PulsePhrases, KnownActionsReadAsPhrasesOthersLoseTheirUnderscores) {
    EXPECT_EQ(AgentPulse::friendlyIntent("wait_for_cue"), "waiting");
    EXPECT_EQ(AgentPulse::friendlyIntent("perform_assigned_act"), "their act");
    EXPECT_EQ(AgentPulse::friendlyIntent("Sit"), "Sit");
    EXPECT_EQ(AgentPulse::friendlyIntent("take_a_bow"), "take a bow");
}

}  // namespace
}  // namespace tw
