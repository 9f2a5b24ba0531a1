#include "platform/calendar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log.h"

namespace tw {
namespace {

Date utc(double unixSeconds) { return Date::fromUnix(unixSeconds); }

TEST(CalendarTest, DaysAcrossClockChangesLastTwentyFiveOrTwentyThreeHours) {
    Calendar newYork("America/New_York", "en_US");
    // 2026-11-01 12:00 EST: clocks fell back at 02:00.
    const Date fallBack = utc(1793548800);
    EXPECT_EQ(newYork.startOfDay(fallBack), utc(1793505600));  // 00:00 EDT
    EXPECT_DOUBLE_EQ(newYork.startOfNextDay(fallBack).since(newYork.startOfDay(fallBack)), 90000);
    // 2026-03-08 11:00 EDT: clocks sprang forward at 02:00.
    const Date springForward = utc(1772982000);
    EXPECT_EQ(newYork.startOfDay(springForward), utc(1772946000));  // 00:00 EST
    EXPECT_DOUBLE_EQ(newYork.startOfNextDay(springForward).since(newYork.startOfDay(springForward)), 82800);
}

TEST(CalendarTest, DayWhoseMidnightIsSkippedStartsAtItsFirstInstant) {
    // Santiago jumps from 00:00 -04 straight to 01:00 -03 on 2026-09-06.
    Calendar santiago("America/Santiago", "en_US");
    const Date noon = utc(1788706800);
    EXPECT_EQ(santiago.startOfDay(noon), utc(1788667200));
    EXPECT_EQ(santiago.hour(santiago.startOfDay(noon)), 1);
    EXPECT_EQ(santiago.dayKey(santiago.startOfDay(noon)), "2026-09-06");
}

TEST(CalendarTest, TheSameInstantFallsOnDifferentDaysInDifferentZones) {
    const Date instant = utc(1780279200);  // 2026-06-01T02:00:00Z
    Calendar newYork("America/New_York");
    Calendar tokyo("Asia/Tokyo");
    EXPECT_EQ(newYork.dayKey(instant), "2026-05-31");
    EXPECT_EQ(tokyo.dayKey(instant), "2026-06-01");
    EXPECT_EQ(newYork.hour(instant), 22);
    EXPECT_EQ(tokyo.hour(instant), 11);
    EXPECT_EQ(newYork.weekday(instant), 1);  // Sunday
    EXPECT_EQ(tokyo.weekday(instant), 2);    // Monday
    EXPECT_TRUE(newYork.isSameDay(instant, instant.adding(-20 * 3600.0)));
    EXPECT_FALSE(tokyo.isSameDay(instant, instant.adding(-20 * 3600.0)));
    EXPECT_EQ(tokyo.format(instant, "yyyy-MM-dd-HHmmss"), "2026-06-01-110000");
}

TEST(CalendarTest, UnknownZoneFallsBackToUtcWithALogLine) {
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    Calendar calendar("Mars/Olympus_Mons");
    log::setSinkForTesting(nullptr);
    EXPECT_EQ(calendar.timeZoneId(), "UTC");
    EXPECT_EQ(calendar.hour(utc(1780279200)), 2);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Mars/Olympus_Mons"), std::string::npos);
}

TEST(CalendarTest, CopiesAreIndependentAndLocaleTextsFollowTheZone) {
    Calendar original("America/New_York", "en_US");
    Calendar copy = original;
    original = Calendar("Asia/Tokyo", "en_US");
    const Date instant = utc(1796635140);  // 2026-12-07T09:19:00Z
    EXPECT_EQ(copy.timeZoneId(), "America/New_York");
    EXPECT_EQ(copy.fullDateText(instant), "Monday, December 7, 2026");
    const std::string time = copy.shortTimeText(instant);
    EXPECT_EQ(time.rfind("4:19", 0), 0u) << time;
    EXPECT_NE(time.find("AM"), std::string::npos) << time;
    EXPECT_EQ(original.hour(instant), 18);
}

TEST(CalendarTest, DayKeysStayGregorianWhateverTheEnvironmentLocale) {
    // A Buddhist-calendar locale must not shift stored day keys by 543 years.
    Calendar thai("Asia/Bangkok", "th_TH");
    EXPECT_EQ(thai.dayKey(utc(1780279200)), "2026-06-01");
}

TEST(CalendarTest, AlternatingPatternsEachKeepTheirOwnText) {
    // Formatters are kept per pattern: switching back and forth must never reuse the wrong one.
    Calendar tokyo("Asia/Tokyo", "en_US");
    const Date instant = utc(1780279200);  // 2026-06-01T02:00:00Z, 11:00 in Tokyo
    for (int round = 0; round < 3; ++round) {
        const Date later = instant.adding(round * 86400.0 + round * 60.0);
        const std::string day = "2026-06-0" + std::to_string(1 + round);
        EXPECT_EQ(tokyo.format(later, "yyyy-MM-dd"), day);
        EXPECT_EQ(tokyo.format(later, "HH:mm"), "11:0" + std::to_string(round));
        EXPECT_EQ(tokyo.dayKey(later), day);
    }
    // A copy made after the originals were formatted answers in its own zone once reassigned.
    Calendar copy = tokyo;
    EXPECT_EQ(copy.format(instant, "HH:mm"), "11:00");
    copy = Calendar("America/New_York", "en_US");
    EXPECT_EQ(copy.format(instant, "HH:mm"), "22:00");
    EXPECT_EQ(tokyo.format(instant, "HH:mm"), "11:00");
    EXPECT_EQ(copy.fullDateText(instant), "Sunday, May 31, 2026");
    EXPECT_EQ(tokyo.fullDateText(instant), "Monday, June 1, 2026");
}

}  // namespace
}  // namespace tw
