#include <gtest/gtest.h>

#include "tests/windows/companions/companions_test_support.h"
#include "windows/companions/recent_thoughts_texts.h"
#include "windows/companions/tumblewick_recent_thoughts_panel.h"

namespace tw {
namespace {

using agent_host::DayStats;
using agent_host::RecentLine;

TEST(RecentThoughtsTextsTest, AgesLabelsTallyAndActivityRow) {
    const std::pair<double, const char*> ages[] = {{-3, "just now"},  {4.9, "just now"}, {59.9, "59s ago"},
                                                   {3599, "59m ago"}, {3600, "1h ago"},  {7300, "2h ago"}};
    for (const auto& [seconds, text] : ages) EXPECT_EQ(thoughtAgeText(seconds), text) << seconds;
    EXPECT_EQ(thoughtActionLabel("attempt_bit"), "tries something");
    EXPECT_EQ(thoughtActionLabel("perform_signature"), "signature");
    EXPECT_EQ(thoughtActionLabel("look_around_twice"), "look around twice");
    EXPECT_EQ(dayTallyText(DayStats{.total = 5}), "Today: 5 lines");
    EXPECT_EQ(dayTallyText(DayStats{.total = 9, .signatures = 2, .duets = 1, .diary = 3}),
              "Today: 9 lines \u00B7 2 \u2728 \u00B7 1 duets \u00B7 3 diary");
    EXPECT_EQ(activitySparkline({0, 1, 2}), " \u2585\u2588");
    EXPECT_EQ(activitySparkline({0, 0}), "  ");
    EXPECT_EQ(activitySparkline({}), "");
}

TEST(RecentThoughtsTextsTest, NewestTwelveFirstAndTallyOnlyWhenSomethingHappenedToday) {
    const Date now{1000.0};
    EXPECT_EQ(
        recentThoughtsRuns({}, DayStats{}, {0, 0}, now),
        (std::vector<ThoughtsRun>{{ThoughtsStyle::placeholder,
                                   "No recent activity yet \u2014 wind the circus or wait a moment."}}));

    std::vector<RecentLine> feed;
    for (int i = 0; i < 50; ++i)
        feed.push_back({"flea" + std::to_string(i), "applaud", "line " + std::to_string(i), Date{900.0 + i}});
    const auto runs = recentThoughtsRuns(feed, DayStats{.total = 5}, {0, 1, 2}, now);
    ASSERT_EQ(runs.size(), 2 * 12 + 3u);
    EXPECT_EQ(runs[0].text, "flea49  \u00B7  applauds  \u00B7  51s ago\n");
    EXPECT_EQ(runs[1].text, "  line 49\n\n");
    EXPECT_EQ(runs[23].text, "  line 38\n\n");
    EXPECT_EQ(runs[25].text, "Today: 5 lines\n");
    EXPECT_EQ(runs[26].text, "30m   \u2585\u2588");
}

TEST(RecentThoughtsPanelTest, ShowsTheSourceAndRefreshesOnlyWhileShown) {
    std::vector<RecentLine> feed{{"Pip", "attempt_bit", "Watch this!", Date{990.0}},
                                 {"Zing", "perform_signature", "Ta-da <b>!</b>", Date{999.0}}};
    TumblewickRecentThoughtsPanel panel([&] {
        return recentThoughtsRuns(feed, DayStats{.total = 2, .signatures = 1}, {1, 0, 2}, Date{1000.0});
    });
    EXPECT_FALSE(panel.refreshTimer().isActive());
    panel.toggle();
    ASSERT_TRUE(panel.isVisible());
    EXPECT_TRUE(panel.refreshTimer().isActive());
    const std::string shown = panel.shownText().toStdString();
    EXPECT_NE(shown.find("Zing  \u00B7  signature  \u00B7  just now"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Ta-da <b>!</b>"), std::string::npos) << "flea text stays plain";
    EXPECT_LT(shown.find("Zing"), shown.find("Pip  \u00B7  tries something  \u00B7  10s ago"));
    EXPECT_NE(shown.find("Today: 2 lines \u00B7 1 \u2728"), std::string::npos);

    panel.grab().save(
        QString::fromStdString((testing::companionsOutputFolder() / "recent_thoughts.png").string()));

    panel.toggle();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.refreshTimer().isActive());
}

}  // namespace
}  // namespace tw
