#include "agent/host/agent_activity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace tw {
namespace {

using namespace agent_host;

const Date kNow{800'000'000.0};

RecentLine lineAt(std::string flea, double ageSeconds, std::string action = "applaud") {
    return RecentLine{std::move(flea), std::move(action), "hi", kNow.adding(-ageSeconds)};
}

TEST(AgentActivity, FeedsKeepTheNewestUpToTheirCap) {
    std::vector<int> feed;
    for (int i = 1; i <= 51; ++i) appendCapped(feed, i, 50);
    ASSERT_EQ(feed.size(), 50u);
    EXPECT_EQ(feed.front(), 2);
    EXPECT_EQ(feed.back(), 51);
}

TEST(AgentActivity, CountsByAgeAndByMinute) {
    const std::vector<RecentLine> lines = {lineAt("Pip", 60),  lineAt("Pip", -5),   lineAt("Pip", 60.5),
                                           lineAt("Pip", 0),   lineAt("Pip", 59.9), lineAt("Pip", 1799),
                                           lineAt("Pip", 1800)};
    EXPECT_EQ(linesInLast(lines, 60, kNow), 4);  // 60, future, 0, 59.9
    EXPECT_EQ(linesInLast(lines, 60, Date{std::nan("")}), 0);

    const auto buckets = linesByMinute(lines, 30, kNow);
    ASSERT_EQ(buckets.size(), 30u);
    EXPECT_EQ(buckets[29], 2);  // 0 and 59.9
    EXPECT_EQ(buckets[28], 2);  // 60 and 60.5
    EXPECT_EQ(buckets[0], 1);   // 1799; 1800 and the future line go nowhere
    EXPECT_EQ(std::accumulate(buckets.begin(), buckets.end(), std::int64_t(0)), 5);
    EXPECT_TRUE(linesByMinute(lines, 0, kNow).empty());
    EXPECT_TRUE(linesByMinute(lines, -3, kNow).empty());
    // A moment that is not a number places no line (and never reaches a cast).
    const auto none = linesByMinute(lines, 30, Date{std::nan("")});
    EXPECT_EQ(std::accumulate(none.begin(), none.end(), std::int64_t(0)), 0);
}

TEST(AgentActivity, DayStatsCountEveryLineInTheFeedByAction) {
    EXPECT_EQ(dayStats({}), DayStats{});
    std::vector<RecentLine> lines;
    for (const char* action : {"perform_signature", "attempt_bit", "attempt_bit", "initiate_duet", "refuse",
                               "diary", "applaud", "Diary"})
        lines.push_back(lineAt("Pip", 2 * 86400.0, action));  // yesterday's lines count too
    EXPECT_EQ(dayStats(lines), (DayStats{8, 1, 2, 1, 1, 1}));
}

TEST(AgentActivity, AutoSpotlightPrefersTheBusiestResidentButMovesOn) {
    const std::vector<RecentLine> busy = {lineAt("Rex", 1),
                                          lineAt("Rex", 2),
                                          lineAt("Rex", 3),
                                          lineAt("Nova", 4),
                                          lineAt("Zing", 61),  // too old
                                          lineAt("8C0B1E36-8C4B-4A47-9B1F-6C64C9B4E0A1", 1),
                                          lineAt("8C0B1E36-8C4B-4A47-9B1F-6C64C9B4E0A1", 1)};
    EXPECT_EQ(autoSpotlightPick(busy, std::nullopt, kNow), "Rex");
    EXPECT_EQ(autoSpotlightPick(busy, std::string("Rex"), kNow), "Nova");
    EXPECT_EQ(autoSpotlightPick(busy, std::string("Nova"), kNow), "Rex");
    const std::vector<RecentLine> onlyRex = {lineAt("Rex", 1)};
    EXPECT_EQ(autoSpotlightPick(onlyRex, std::string("Rex"), kNow), "Rex");
    // No recent resident line: the resident of the current 8-second period, whoever is lit.
    const std::vector<RecentLine> quiet = {lineAt("8C0B1E36-8C4B-4A47-9B1F-6C64C9B4E0A1", 1)};
    const Date t{8.0 * 7 * 1000 + 8 * 3 + 1};  // period 7003: index 3
    EXPECT_EQ(autoSpotlightPick(quiet, std::string("Dot"), t), "Dot");
    EXPECT_EQ(autoSpotlightPick({}, std::nullopt, t.adding(8)), "Rex");
}

TEST(AgentActivity, TopBondsCountOnlyTheFleasOwnPartnerActions) {
    auto decision = [](std::string flea, AgentAction action, std::optional<std::string> target) {
        return AgentDecision{.flea_id = std::move(flea),
                             .intent = AgentIntent::make(action, std::move(target))};
    };
    const std::vector<AgentDecision> log = {decision("Pip", AgentAction::join_flea, "Rex"),
                                            decision("Pip", AgentAction::watch_flea, "Rex"),
                                            decision("Pip", AgentAction::initiate_duet, "Nova"),
                                            decision("Pip", AgentAction::applaud, "Nova"),
                                            decision("Pip", AgentAction::join_flea, std::nullopt),
                                            decision("Dot", AgentAction::join_flea, "Pip"),
                                            decision("Pip", AgentAction::watch_flea, "Zing"),
                                            decision("Pip", AgentAction::watch_flea, "Zing"),
                                            decision("Pip", AgentAction::join_flea, "Blaze")};
    EXPECT_EQ(topBonds(log, "Pip", 3), (std::vector<Bond>{{"Rex", 2}, {"Zing", 2}, {"Blaze", 1}}));
    EXPECT_EQ(topBonds(log, "Pip", 0), std::vector<Bond>{});
    EXPECT_EQ(topBonds(log, "Nova", 3), std::vector<Bond>{});
    EXPECT_EQ(topBonds(log, "Dot", 3), (std::vector<Bond>{{"Pip", 1}}));
}

}  // namespace
}  // namespace tw
