#include "windows/exports/share_card_content.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports_test_support.h"

namespace tw {
namespace {

TEST(ShareCardContentTest, TheToastWinsThenTheNewestFeedLineThenTheQuietTroupe) {
    const std::vector<ChapterFeedLine> feed = {{"Pip", "applaud", "Old.", testing::utcDecember7(10)},
                                               {"Nova", "diary", "Dear diary.", testing::utcDecember7(11)}};
    const ShareCardMoment toast{"Zing", "perform_signature", "Whee!"};
    struct Case {
        const char* name;
        ShareCardMoment toast;
        std::vector<ChapterFeedLine> feed;
        ShareCardMoment moment;
        std::string headline;
    };
    const Case cases[] = {
        {"toast over a newer feed", toast, feed, toast, "Zing just pulled off a signature move."},
        {"newest feed line", {}, feed, {"Nova", "diary", "Dear diary."}, "From Nova's diary."},
        {"quiet troupe",
         {},
         {},
         {"Tumblewick", "", "The troupe is quiet. Open the app and wind to wake them."},
         "Tumblewick \u2014 recent thought"},
    };
    for (const Case& c : cases) {
        const ShareCardMoment moment = chooseShareCardMoment(c.toast, c.feed);
        EXPECT_EQ(moment, c.moment) << c.name;
        const ShareCardTexts texts = shareCardTexts(moment);
        EXPECT_EQ(texts.headline, c.headline) << c.name;
        EXPECT_EQ(texts.quote, "\u201C" + c.moment.line + "\u201D") << c.name;
        EXPECT_EQ(texts.attribution, "\u2014 " + c.moment.flea + ", today") << c.name;
    }
}

TEST(ShareCardContentTest, HeadlinesByAction) {
    const std::pair<const char*, const char*> cases[] = {
        {"perform_signature", "Rex just pulled off a signature move."},
        {"attempt_bit", "Rex just tried something brave."},
        {"initiate_duet", "Rex just started a duet."},
        {"pre_action_ritual", "Rex just ran their pre-action ritual."},
        {"applaud", "Rex is applauding."},
        {"refuse", "Rex refused \u2014 politely."},
        {"diary", "From Rex's diary."},
        {"sit", "Rex \u2014 recent thought"},
        {"Diary", "Rex \u2014 recent thought"},
    };
    for (const auto& [action, headline] : cases) {
        EXPECT_EQ(shareCardTexts({"Rex", action, "x"}).headline, headline) << action;
    }
    EXPECT_EQ(shareCardFileName(testing::utcDecember7(23.5), testing::newYork()),
              "Tumblewick-2026-12-07-183000.png");
}

}  // namespace
}  // namespace tw
