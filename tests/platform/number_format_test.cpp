#include "platform/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tw {
namespace {

TEST(FormatDoubleTest, MatchesTheTextsTuningAndMessagesUse) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {18.0, "18.0"},
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {0.1, "0.1"},
        {-2.5, "-2.5"},
        {0.30000000000000004, "0.30000000000000004"},
        {1.0 / 3.0, "0.3333333333333333"},
        {0.0001, "0.0001"},
        {0.00009999, "9.999e-05"},
        {1e-05, "1e-05"},
        {1.5e-05, "1.5e-05"},
        {-1e-05, "-1e-05"},
        {1e15, "1000000000000000.0"},
        {9999999999999998.0, "9999999999999998.0"},
        {1e16, "1e+16"},
        {1.25e20, "1.25e+20"},
        {5e-324, "5e-324"},
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {-std::numeric_limits<double>::quiet_NaN(), "nan"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDouble(c.value), c.text) << c.text;
    }
}

TEST(FormatDoubleTest, TextReadsBackExactly) {
    for (double value = 1e-6; value < 1e18; value *= 1.37) {
        EXPECT_EQ(std::stod(formatDouble(value)), value);
        EXPECT_EQ(std::stod(formatDouble(-value)), -value);
    }
}

}  // namespace
}  // namespace tw
