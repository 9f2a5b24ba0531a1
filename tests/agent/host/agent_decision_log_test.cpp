#include "agent/host/agent_decision_log.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

AgentIntent intentOf(AgentAction action) { return AgentIntent::make(action); }

// The log runs inline here, so every completion has run when the call returns.
class DecisionLogTest : public ::testing::Test {
   protected:
    AgentDecisionLog log{std::make_unique<InlineSerialExecutor>()};

    std::size_t count() {
        std::size_t n = 0;
        log.count([&](std::size_t c) { n = c; });
        return n;
    }
    AgentDecisionLog::Decisions window(Date now, int days) {
        AgentDecisionLog::Decisions out;
        log.decisionsInWindow(now, days, [&](AgentDecisionLog::Decisions d) { out = std::move(d); });
        return out;
    }
    AgentDecisionLog::Decisions day(Date start, std::int64_t index, const Calendar& calendar) {
        AgentDecisionLog::Decisions out;
        log.decisionsForDay(start, index, calendar,
                            [&](AgentDecisionLog::Decisions d) { out = std::move(d); });
        return out;
    }
    Uuid record(const std::string& flea, AgentAction action, Date at) {
        Uuid id;
        log.record(flea, intentOf(action), at, [&](Uuid u) { id = u; });
        return id;
    }
};

TEST_F(DecisionLogTest, KeepsTheNewest4096) {
    for (int i = 0; i < 4097; ++i) record("f" + std::to_string(i), AgentAction::sit, Date{double(i)});
    EXPECT_EQ(count(), 4096u);
    const auto all = window(Date{5000}, 7);
    ASSERT_EQ(all.size(), 4096u);
    EXPECT_EQ(all.front().flea_id, "f1");
    EXPECT_EQ(all.back().flea_id, "f4096");
    log.clear();
    EXPECT_EQ(count(), 0u);
}

TEST_F(DecisionLogTest, ChargesStartAtTheBaseAndOutcomesRaiseThemUpToOne) {
    struct Row {
        AgentAction action;
        std::optional<double> importance;
        std::optional<AgentDialogueGenerator> source;
        double charge;
    };
    const std::vector<Row> rows = {
        {AgentAction::perform_signature, std::nullopt, std::nullopt, 0.4},
        {AgentAction::wander_to, std::nullopt, std::nullopt, 0.02},
        {AgentAction::refuse, std::nullopt, std::nullopt, 0.1},
        {AgentAction::perform_signature, 0.8, AgentDialogueGenerator::llm, 0.9},
        {AgentAction::perform_signature, 1.0, AgentDialogueGenerator::llm, 1.0},
        {AgentAction::perform_signature, 2.0, std::nullopt, 1.0},
        {AgentAction::wander_to, 0.5, AgentDialogueGenerator::template_, 0.27},
        {AgentAction::sit, -1.0, std::nullopt, -0.48},  // no lower clamp
    };
    for (const auto& row : rows) {
        log.clear();
        const Uuid id = record("Pip", row.action, Date{0});
        if (row.importance) log.attachOutcome(id, *row.importance, row.source);
        log.attachOutcome(Uuid::random(), 1.0, AgentDialogueGenerator::llm);  // not in the log: no effect
        const auto all = window(Date{0}, 7);
        ASSERT_EQ(all.size(), 1u);
        EXPECT_NEAR(all[0].narrative_charge, row.charge, 1e-12) << rawValue(row.action);
        EXPECT_EQ(all[0].outcome_importance, row.importance);
    }
}

TEST_F(DecisionLogTest, WindowCountsFromTheCutoffAndKeepsLaterDecisions) {
    const Date now{1'000'000};
    record("a", AgentAction::sit, now.adding(-7 * 86400.0 - 1));
    record("b", AgentAction::sit, now.adding(-7 * 86400.0));
    record("c", AgentAction::sit, now);
    record("d", AgentAction::sit, now.adding(30));
    auto ids = [](const AgentDecisionLog::Decisions& list) {
        std::string s;
        for (const auto& d : list) s += d.flea_id;
        return s;
    };
    EXPECT_EQ(ids(window(now, 7)), "bcd");
    EXPECT_EQ(ids(window(now, 0)), "cd");
}

TEST_F(DecisionLogTest, DayQueriesFollowTheCalendarsZoneAcrossMidnight) {
    // Tokyo is UTC+9: local midnight of 2026-12-08 is 15:00 UTC on the 7th.
    const Calendar tokyo("Asia/Tokyo");
    const Date midnight = Date::fromUnix(1796655600.0);  // 2026-12-08T00:00+09:00
    ASSERT_EQ(tokyo.format(midnight, "yyyy-MM-dd HH:mm"), "2026-12-08 00:00");
    record("late", AgentAction::sit, midnight.adding(-60));    // 23:59 on the 7th
    record("edge", AgentAction::sit, midnight);                // 00:00 on the 8th
    record("next", AgentAction::sit, midnight.adding(86399));  // 23:59:59 on the 8th
    record("after", AgentAction::sit, midnight.adding(86400));
    auto ids = [](const AgentDecisionLog::Decisions& list) {
        std::vector<std::string> s;
        for (const auto& d : list) s.push_back(d.flea_id);
        return s;
    };
    const Date afternoonOfThe8th = midnight.adding(15 * 3600);
    EXPECT_EQ(ids(day(afternoonOfThe8th, 0, tokyo)), (std::vector<std::string>{"edge", "next"}));
    EXPECT_EQ(ids(day(afternoonOfThe8th, -1, tokyo)), (std::vector<std::string>{"late"}));
    EXPECT_EQ(ids(day(afternoonOfThe8th, 1, tokyo)), (std::vector<std::string>{"after"}));
    // In UTC the same moments fall on other days.
    EXPECT_EQ(ids(day(afternoonOfThe8th, 0, Calendar("UTC"))), (std::vector<std::string>{"next", "after"}));
    // Days the calendar cannot name give nothing rather than a wrapped or garbage day.
    EXPECT_TRUE(day(afternoonOfThe8th, std::int64_t(1) << 40, tokyo).empty());
    EXPECT_TRUE(day(Date{std::nan("")}, 0, tokyo).empty());
}

TEST(AgentDecisionJson, RoundTripsAndLeavesAbsentOutcomeKeysOut) {
    AgentDecision plain{.flea_id = "Nova",
                        .intent = AgentIntent::make(AgentAction::join_flea, "Rex"),
                        .decided_at = Date{12.5},
                        .narrative_charge = 0.1};
    const OrderedJson json = toJson(plain);
    EXPECT_FALSE(json.contains("outcome_importance"));
    EXPECT_FALSE(json.contains("dialogue_source"));
    AgentDecision back;
    fromJson(JsonReader(json), back);
    EXPECT_EQ(back, plain);

    AgentDecision full = plain;
    full.outcome_importance = 0.25;
    full.dialogue_source = AgentDialogueGenerator::template_;
    const OrderedJson fullJson = toJson(full);
    EXPECT_EQ(fullJson["dialogue_source"], "template");
    fromJson(JsonReader(fullJson), back);
    EXPECT_EQ(back, full);

    OrderedJson broken = fullJson;
    broken["dialogue_source"] = "oracle";
    EXPECT_THROW(fromJson(JsonReader(broken), back), JsonDecodeError);
    EXPECT_EQ(back, full);  // untouched by the failed decode
    full.narrative_charge = std::nan("");
    EXPECT_THROW(toJson(full), JsonEncodeError);
}

}  // namespace
}  // namespace tw
