// Which feed versions count as newer than the running one.
#include "Tumblewick/shell/launch/update_feed.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(UpdateFeed, ComparesWholeNumbersPositionByPositionWithoutAVersionPrefix) {
    struct Case {
        const char* remote;
        bool newer;
    };
    const Case cases[] = {
        {"1.4.0", false},
        {"1.4", false},
        {"1.3.9", false},
        {"1.4.0.1", true},
        {"1.10", true},
        {"1..5", true},
        {"v1.5.0", true},
        {"V1.5.0", true},
        {"v1.3.0", false},
        {"1.5.0-beta", true},
        {"1.4.0-rc1", false},
        {"2", true},
        {"", false},
        {"abc", false},
        {"-1.9", false},
        {"+2.0", true},
        {"99999999999999999999.0", false},
    };
    for (const Case& c : cases) EXPECT_EQ(isNewerVersion(c.remote, "1.4.0"), c.newer) << c.remote;
}

}  // namespace
}  // namespace tw
