#include "platform/date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tw {
namespace {

TEST(Iso8601Test, WritesWholeSecondsFlooringFractions) {
    const auto parsed = parseIso8601("2025-02-03T04:05:06Z");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(iso8601String(*parsed), "2025-02-03T04:05:06Z");

    // Never rounded up, even a hair before the next second.
    EXPECT_EQ(iso8601String(parsed->adding(0.999)), "2025-02-03T04:05:06Z");
    EXPECT_EQ(iso8601String(parsed->adding(0.9999999)), "2025-02-03T04:05:06Z");

    // Before the 2001 epoch, flooring still goes towards the past.
    EXPECT_EQ(iso8601String(Date{-0.5}), "2000-12-31T23:59:59Z");
    EXPECT_EQ(iso8601String(Date{0}), "2001-01-01T00:00:00Z");
    EXPECT_EQ(iso8601String(Date::fromUnix(0)), "1970-01-01T00:00:00Z");
}

TEST(Iso8601Test, FractionIsKeptWhenReading) {
    const auto withFraction = parseIso8601("2025-02-03T04:05:05.999Z");
    ASSERT_TRUE(withFraction.has_value());
    const auto whole = parseIso8601("2025-02-03T04:05:05Z");
    ASSERT_TRUE(whole.has_value());
    EXPECT_NEAR(withFraction->since(*whole), 0.999, 1e-6);
    EXPECT_EQ(iso8601String(*withFraction), "2025-02-03T04:05:05Z");
}

TEST(Iso8601Test, KnownInstants) {
    EXPECT_EQ(parseIso8601("2001-01-01T00:00:00Z"), Date{0});
    EXPECT_EQ(parseIso8601("1970-01-01T00:00:00Z"), Date{-Date::kUnixOffset});
    EXPECT_EQ(parseIso8601("2024-02-29T12:00:00Z"), Date::fromUnix(1709208000));
    for (const char* text : {"9999-12-31T23:59:59Z", "0001-01-01T00:00:00Z", "2100-03-01T00:00:00Z"}) {
        const auto parsed = parseIso8601(text);
        ASSERT_TRUE(parsed.has_value()) << text;
        EXPECT_EQ(iso8601String(*parsed), text);
    }
}

TEST(Iso8601Test, RejectsImpossibleOrLooseText) {
    for (const char* text : {
             "2025-02-30T00:00:00Z",  // no such day
             "2023-02-29T00:00:00Z",  // not a leap year
             "1900-02-29T00:00:00Z",  // century, not a leap year
             "2025-04-31T00:00:00Z",
             "2025-13-01T00:00:00Z",
             "2025-00-10T00:00:00Z",
             "2025-01-00T00:00:00Z",
             "0000-01-01T00:00:00Z",
             "2025-01-01T24:00:00Z",  // hour 24
             "2025-01-01T23:60:00Z",
             "2025-01-01T23:59:60Z",
             "2025-01-01T00:00:00",  // missing Z
             "2025-01-01T00:00:00+01:00",
             "2025-01-01T00:00:00z",
             "2025-01-01 00:00:00Z",
             "2025-1-01T00:00:00Z",
             "25-01-01T00:00:00Z",
             "2025-01-01T00:00:00.Z",
             "2025-01-01T00:00:00.5xZ",
             "2025-01-01T00:00:00,5Z",
             "+025-01-01T00:00:00Z",
             "",
             "Z",
         }) {
        EXPECT_FALSE(parseIso8601(text).has_value()) << text;
    }
    EXPECT_TRUE(parseIso8601("2024-02-29T00:00:00Z").has_value());
    EXPECT_TRUE(parseIso8601("2000-02-29T00:00:00Z").has_value());
}

TEST(Iso8601Test, NoTextOutsideFourDigitYearsOrForNonFiniteDates) {
    EXPECT_FALSE(iso8601String(Date{std::numeric_limits<double>::quiet_NaN()}));
    EXPECT_FALSE(iso8601String(Date{std::numeric_limits<double>::infinity()}));
    EXPECT_FALSE(iso8601String(Date{1e300}));
    EXPECT_FALSE(iso8601String(Date{-1e300}));
    const auto last = parseIso8601("9999-12-31T23:59:59Z");
    ASSERT_TRUE(last.has_value());
    EXPECT_FALSE(iso8601String(last->adding(1)));
}

TEST(Iso8601Test, RoundTripsAcrossManyDays) {
    // Every 7 hours 13 minutes over ~60 years covers all months, leap days and hours.
    for (double t = -1.0e9; t < 1.0e9; t += 25980.0 * 97) {
        const auto text = iso8601String(Date{t});
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(parseIso8601(*text), Date{t}) << *text;
    }
}

}  // namespace
}  // namespace tw
