// Which feed versions count as newer than the running one, and how a newer one is shown.
#include "Tumblewick/shell/launch/update_feed.h"

#include <gtest/gtest.h>

#include "platform/unicode.h"

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

TEST(UpdateFeed, ShowsTheVersionOnceWithoutItsPrefixAndKeepsTheNoticeWithin32Characters) {
    const std::string longest(21, '1');  // "v" + 21 + " available" = 32
    struct Case {
        std::string feed;
        std::string shown;
    };
    const Case cases[] = {
        {"1.5.0", "1.5.0"},
        {"v1.5.0", "1.5.0"},
        {"V2.0", "2.0"},
        {"vv1", "v1"},  // one prefix only
        {longest, longest},
        {"v" + longest, longest},
        {longest + "2", std::string(20, '1') + "\u2026"},
        {"1.5.0-\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9",
         "1.5.0-\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9\u00E9"},
        {std::string(60 * 1024, '9'), std::string(20, '9') + "\u2026"},
    };
    for (const Case& c : cases) {
        const std::string shown = shownUpdateVersion(c.feed);
        EXPECT_EQ(shown, c.shown) << c.feed.substr(0, 40);
        EXPECT_LE(unicode::graphemeCount("v" + shown + " available"), kUpdateNoticeMaxCharacters);
    }
}

}  // namespace
}  // namespace tw
