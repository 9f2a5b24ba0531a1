#include "dialogue/dialogue_channel_store.h"

#include <gtest/gtest.h>

#include <limits>

#include "dialogue_test_support.h"

namespace tw {
namespace {

using testing::lineWithText;
using Channel = AgentDialogueChannel;
using Entries = DialogueChannelStore::Entries;

class DialogueChannelStoreTest : public ::testing::Test {
   protected:
    bool record(const std::string& flea, const std::string& text, Channel channel, double at,
                AgentDialogueGenerator by = AgentDialogueGenerator::template_) {
        AgentDialogueLine line = lineWithText(text);
        line.generated_by = by;
        bool accepted = false;
        store.record(flea, line, channel, Date{at}, [&](bool ok) { accepted = ok; });
        return accepted;
    }
    static std::vector<std::string> texts(const Entries& entries) {
        std::vector<std::string> out;
        for (const auto& entry : entries) out.push_back(entry.line.text);
        return out;
    }
    Entries entries(const std::string& flea, Channel channel, std::int64_t limit) {
        Entries out;
        store.entries(flea, channel, limit, [&](Entries e) { out = std::move(e); });
        return out;
    }
    std::size_t count() {
        std::size_t out = 0;
        store.count([&](std::size_t n) { out = n; });
        return out;
    }

    DialogueChannelStore store{std::make_unique<InlineSerialExecutor>()};
};

TEST_F(DialogueChannelStoreTest, GossipIsThrottledAcrossFleasAndRefusalsDoNotMoveTheWindow) {
    EXPECT_TRUE(record("pip", "g1", Channel::gossip_line, 1000));
    EXPECT_FALSE(record("zing", "g2", Channel::gossip_line, 1299));
    EXPECT_TRUE(record("zing", "g3", Channel::gossip_line, 1300));  // 300 s after the accepted one
    EXPECT_FALSE(record("pip", "g4", Channel::gossip_line, 1200));  // earlier than the last accepted
    EXPECT_TRUE(record("pip", "t1", Channel::thought_bubble, 1300));
    EXPECT_TRUE(record("pip", "t2", Channel::thought_bubble, 1300));
    EXPECT_EQ(count(), 4u);

    store.clear();
    EXPECT_EQ(count(), 0u);
    EXPECT_TRUE(record("pip", "g5", Channel::gossip_line, 1301));
}

TEST_F(DialogueChannelStoreTest, KeepsFiftyPerFleaAndChannelDroppingTheEarliestRecorded) {
    record("pip", "diary", Channel::diary_line, 0);
    record("zing", "zing", Channel::thought_bubble, 0);
    // Stamps run backwards: the earliest recorded goes, whatever its stamp.
    for (int i = 0; i < 51; ++i)
        record("pip", testing::numbered("t", i), Channel::thought_bubble, 1000.0 - i);
    const Entries pip = entries("pip", Channel::thought_bubble, 100);
    ASSERT_EQ(pip.size(), 50u);
    EXPECT_EQ(pip.front().line.text, "t1");
    EXPECT_EQ(pip.back().line.text, "t50");
    EXPECT_EQ(entries("pip", Channel::diary_line, 10).size(), 1u);
    EXPECT_EQ(entries("zing", Channel::thought_bubble, 10).size(), 1u);
}

TEST_F(DialogueChannelStoreTest, ReadersSortByStampAndKeepRecordingOrderOnTies) {
    record("pip", "old", Channel::thought_bubble, 10);
    record("pip", "tieA", Channel::thought_bubble, 20);
    record("pip", "tieB", Channel::thought_bubble, 20);
    record("zing", "other", Channel::post_show_line, 15);
    EXPECT_EQ(texts(entries("pip", Channel::thought_bubble, 10)),
              (std::vector<std::string>{"tieA", "tieB", "old"}));
    EXPECT_EQ(texts(entries("pip", Channel::thought_bubble, 2)), (std::vector<std::string>{"tieA", "tieB"}));

    std::optional<DialogueChannelStore::ChannelEntry> latest;
    store.latest("pip", Channel::thought_bubble, [&](auto e) { latest = std::move(e); });
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->line.text, "tieA");
    store.latest("nobody", Channel::thought_bubble, [&](auto e) { latest = std::move(e); });
    EXPECT_FALSE(latest);

    Entries all;
    store.latestEntries(3, [&](Entries e) { all = std::move(e); });
    EXPECT_EQ(texts(all), (std::vector<std::string>{"tieA", "tieB", "other"}));
}

TEST_F(DialogueChannelStoreTest, ANaNStampSortsAsTheOldest) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < 20; ++i) {
        record("pip", testing::numbered("n", i), Channel::thought_bubble, i % 3 == 0 ? nan : i);
    }
    const Entries pip = entries("pip", Channel::thought_bubble, 100);
    ASSERT_EQ(pip.size(), 20u);
    EXPECT_EQ(pip.front().line.text, "n19");
    EXPECT_EQ(pip[12].line.text, "n1");
    EXPECT_EQ(pip[13].line.text, "n0");  // the NaN stamps, in recording order
    EXPECT_EQ(pip.back().line.text, "n18");
}

TEST_F(DialogueChannelStoreTest, ZeroAndNegativeLimitsReadNothing) {
    record("pip", "a", Channel::thought_bubble, 1);
    EXPECT_TRUE(entries("pip", Channel::thought_bubble, 0).empty());
    EXPECT_TRUE(entries("pip", Channel::thought_bubble, -5).empty());
    Entries out{DialogueChannelStore::ChannelEntry{}};
    store.latestEntries(-1, [&](Entries e) { out = std::move(e); });
    EXPECT_TRUE(out.empty());
    out = {DialogueChannelStore::ChannelEntry{}};
    store.recapCandidates(60, -1, Date{10}, [&](Entries e) { out = std::move(e); });
    EXPECT_TRUE(out.empty());
}

TEST_F(DialogueChannelStoreTest, DiaryLinesCoverOneCalendarDay) {
    const Calendar utc("UTC");
    const Date day = utc.startOfDay(Date{800000000});
    record("pip", "at start", Channel::diary_line, day.seconds);
    record("pip", "evening", Channel::diary_line, day.seconds + 20 * 3600);
    record("pip", "morning", Channel::diary_line, day.seconds + 8 * 3600);
    record("pip", "next day", Channel::diary_line, day.seconds + 86400);
    record("pip", "bubble", Channel::thought_bubble, day.seconds + 3600);
    record("zing", "zing", Channel::diary_line, day.seconds + 3600);
    Entries diary;
    store.diaryLines("pip", Date{day.seconds + 12 * 3600}, utc, [&](Entries e) { diary = std::move(e); });
    EXPECT_EQ(texts(diary), (std::vector<std::string>{"at start", "morning", "evening"}));
}

TEST_F(DialogueChannelStoreTest, RecapPutsModelLinesFirstWithinTheWindow) {
    const auto llm = AgentDialogueGenerator::llm;
    record("pip", "too old", Channel::thought_bubble, 1000 - 601, llm);
    record("pip", "t-old", Channel::thought_bubble, 500);
    record("pip", "llm-old", Channel::post_show_line, 600, llm);
    record("zing", "t-new", Channel::post_show_line, 900);
    record("zing", "llm-new", Channel::thought_bubble, 950, llm);
    record("zing", "diary", Channel::diary_line, 990, llm);
    Entries recap;
    store.recapCandidates(10, 10, Date{1000}, [&](Entries e) { recap = std::move(e); });
    EXPECT_EQ(texts(recap), (std::vector<std::string>{"llm-new", "llm-old", "t-new", "t-old"}));
    store.recapCandidates(0, 10, Date{950}, [&](Entries e) { recap = std::move(e); });
    EXPECT_EQ(texts(recap), (std::vector<std::string>{"llm-new"}));
}

}  // namespace
}  // namespace tw
