// How the strip announces a newer version the feed named.
#include "Tumblewick/stage/update_notice.h"

#include <gtest/gtest.h>

#include "platform/unicode.h"

namespace tw {
namespace {

TEST(UpdateNotice, ShowsTheVersionOnceWithoutItsPrefixAndKeepsTheNoticeWithin32Characters) {
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
        EXPECT_EQ(updateNoticeText(c.feed), "v" + shown + " available");
        EXPECT_LE(unicode::graphemeCount(updateNoticeText(c.feed)), kUpdateNoticeMaxCharacters);
    }
}

}  // namespace
}  // namespace tw
