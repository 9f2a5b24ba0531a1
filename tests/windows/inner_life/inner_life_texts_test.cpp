#include "windows/inner_life/inner_life_texts.h"

#include <gtest/gtest.h>

#include <cmath>

#include "windows/inner_life/timeline_texts.h"

namespace tw {
namespace {

using agent_host::Bond;
using agent_host::RecentLine;

const Date now{5000.0};

RecentLine lineOf(const std::string& flea, const std::string& action, double secondsAgo,
                  std::string text = "hi") {
    return {flea, action, std::move(text), now.adding(-secondsAgo)};
}

TEST(InnerLifeTextsTest, AgesAndActionLabels) {
    const std::tuple<double, AgeUnits, const char*> ages[] = {
        {59, AgeUnits::upToHours, "59s ago"},      {60, AgeUnits::upToHours, "1m ago"},
        {3599, AgeUnits::upToHours, "59m ago"},    {3600, AgeUnits::upToHours, "1h ago"},
        {7300, AgeUnits::upToHours, "2h ago"},     {59.9, AgeUnits::upToMinutes, "59s ago"},
        {7200, AgeUnits::upToMinutes, "120m ago"}, {-4, AgeUnits::upToMinutes, "0s ago"},
        {NAN, AgeUnits::upToHours, "0s ago"},      {1e300, AgeUnits::upToMinutes, "16666666666666m ago"}};
    for (const auto& [seconds, units, text] : ages) EXPECT_EQ(elapsedText(seconds, units), text) << seconds;
    const std::pair<const char*, const char*> labels[] = {
        {"sit", "sit"},     {"watch_flea", "watch flea"}, {"attempt_bit", "tries something brave"},
        {"diary", "diary"}, {"refuse", "refused"},        {"perform_signature", "signature"}};
    for (const auto& [raw, label] : labels) EXPECT_EQ(timelineActionLabel(raw), label);
}

TEST(InnerLifeTextsTest, PerMinuteCountsOfOneFleaOverTheLastHour) {
    const std::vector<RecentLine> feed{lineOf("Pip", "sit", 30),   lineOf("Pip", "sit", 61),
                                       lineOf("Pip", "sit", 3599), lineOf("Pip", "sit", 3600),
                                       lineOf("Pip", "sit", -5),   lineOf("Zing", "sit", 30)};
    const auto buckets = perMinuteCounts(feed, "Pip", timelineMinutes, now);
    ASSERT_EQ(buckets.size(), 60u);
    std::vector<std::int64_t> expected(60, 0);
    expected[59] = 1;
    expected[58] = 1;
    expected[0] = 1;
    EXPECT_EQ(buckets, expected);
}

TEST(InnerLifeTextsTest, TimelineTallyAndLinesNewestFirst) {
    const std::vector<RecentLine> feed{lineOf("Pip", "perform_signature", 90, "Ta-da"),
                                       lineOf("Zing", "attempt_bit", 20),
                                       lineOf("Pip", "initiate_duet", 10, "With me!")};
    const TimelineContent pip = timelineContent(feed, "Pip", "Pip the Strong", now);
    EXPECT_EQ(pip.title, "Timeline \u00B7 Pip the Strong");
    EXPECT_EQ(pip.header, "Pip the Strong");
    EXPECT_EQ(pip.summary, "Today: 2 lines \u00B7 1 \u2728 \u00B7 1 duets");
    const Font header{FontFamily::system, 10, FontWeight::semibold};
    const Font body{FontFamily::system, 13, FontWeight::regular};
    EXPECT_EQ(pip.lines,
              (std::vector<StyledRun>{{"duet  \u00B7  10s ago\n", header, Color::rgb(1, 1, 0, 0.65)},
                                      {"  With me!\n\n", body, Color::white(1, 0.92)},
                                      {"signature  \u00B7  1m ago\n", header, Color::rgb(1, 1, 0, 0.65)},
                                      {"  Ta-da\n\n", body, Color::white(1, 0.92)}}));
    EXPECT_EQ(timelineContent(feed, "Zing", "Zing", now).summary, "Today: 1 lines \u00B7 1 bits");
    const TimelineContent nobody = timelineContent(feed, "Dot", "Dot", now);
    EXPECT_EQ(nobody.summary, "Today: 0 lines");
    EXPECT_EQ(nobody.lines,
              (std::vector<StyledRun>{{"\nNo lines from Dot yet today.", body, Color::white(1, 0.5)}}));
}

TEST(InnerLifeTextsTest, VoiceAndBonds) {
    FleaAgentScheduler::DiagnosticEntry entry{.flea_id = "Pip"};
    const std::pair<std::vector<std::string>, const char*> voices[] = {
        {{}, "Recent: "},
        {{"wander_to", "sit"}, "Recent: wander_to \u00B7 sit"},
        {{"a", "b", "c", "wander_to", "sit", "applaud", "sit"},
         "Recent: wander_to \u00B7 sit \u00B7 applaud \u00B7 sit"}};
    for (const auto& [actions, text] : voices) {
        entry.recent_intent_actions = actions;
        EXPECT_EQ(innerLifeVoiceText(entry), text);
    }
    EXPECT_EQ(innerLifeVoiceText(std::nullopt), "Recent: \u2014");
    EXPECT_EQ(innerLifeBondsText({}), "Bonds: none yet");
    EXPECT_EQ(innerLifeBondsText({{"Zing", 4}, {"Dot", 2}, {"Rex", 1}}),
              "Bonds: Zing \u00D74 \u00B7 Dot \u00D72 \u00B7 Rex \u00D71");
}

TEST(InnerLifeTextsTest, InnerLifeShowsTheEightNewestLinesAndNeutralMoodForAStranger) {
    std::vector<RecentLine> feed;
    for (int i = 0; i < 12; ++i)
        feed.push_back(lineOf("Pip", i == 11 ? "diary" : "sit", 12 - i, std::to_string(i)));
    feed.push_back(lineOf("Zing", "sit", 0));
    const MoodDimensions mood = MoodDimensions::make(0.9, 0.1, 0.7, 0.3);
    const InnerLifeContent pip = innerLifeContent(
        FleaAgentScheduler::DiagnosticEntry{.flea_id = "Pip", .mood = mood}, feed, "Pip", "Pip", now);
    EXPECT_EQ(pip.title, "Inner Life \u2014 Pip");
    EXPECT_EQ(pip.mood, mood);
    ASSERT_EQ(pip.lines.size(), 16u);
    EXPECT_EQ(pip.lines[0],
              (StyledRun{"diary  \u00B7  1s ago\n", Font{FontFamily::system, 9, FontWeight::semibold},
                         Color::rgb(1, 1, 0, 0.6)}));
    EXPECT_EQ(pip.lines[1], (StyledRun{"  11\n\n", Font{FontFamily::system, 12, FontWeight::regular},
                                       Color::white(1, 0.92)}));
    EXPECT_EQ(pip.lines[15].text, "  4\n\n");

    const InnerLifeContent stranger = innerLifeContent(std::nullopt, feed, "Nova", "Nova", now);
    EXPECT_EQ(stranger.mood, MoodDimensions{});
    EXPECT_EQ(stranger.voice, "Recent: \u2014");
    EXPECT_EQ(
        stranger.lines,
        (std::vector<StyledRun>{{"No dialogue yet \u2014 wait for an interesting decision.",
                                 Font{FontFamily::system, 11, FontWeight::regular}, Color::white(1, 0.4)}}));
}

}  // namespace
}  // namespace tw
