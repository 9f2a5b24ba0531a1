// Messages, letters and anniversaries as the fold keeps them: once each, in time order.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "troupe/snapshot/troupe_fold.h"
#include "troupe_fold_fixture.h"
#include "troupe_test_events.h"

namespace tw {
namespace {

using testing::FoldTest;
using testing::kDeviceB;
using testing::uuidN;
using Speaker = TroupeMessageEntry::Speaker;

TEST_F(FoldTest, MessagesDeduplicatePerFleaAndSortByTimeThenId) {
    const Uuid m1 = uuidN(0x10, 0x3E);
    const Uuid m2 = uuidN(0x20, 0x3E);
    TroupeSnapshot s = TroupeFold::fold({
        event(TroupeFleaMessageFromUser{flea1, m2, "second by id", std::nullopt}, 50),
        event(TroupeFleaMessageFromFlea{flea1, m1, "first by id", std::nullopt,
                                        TroupeMessageSource::template_, uuidN(9)},
              50),
        event(TroupeFleaMessageFromUser{flea1, m1, "same id, other body", std::nullopt}, 60),
        event(TroupeFleaMessageFromUser{flea2, m1, "same id, other flea", std::nullopt}, 40),
    });
    const auto& one = s.conversationsByFlea.at(flea1);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(one[0], (TroupeMessageEntry{m1, Speaker::flea, "first by id", Date{50},
                                          TroupeMessageSource::template_, uuidN(9)}));
    EXPECT_EQ(one[1].id, m2);
    EXPECT_FALSE(one[1].modelTier);
    ASSERT_EQ(s.conversationsByFlea.at(flea2).size(), 1u);
    EXPECT_TRUE(s.fleas.empty());  // messages do not need a flea
}

TEST_F(FoldTest, LettersReadAndAcknowledged) {
    const Uuid l1 = uuidN(1, 0x1E);
    const Uuid l2 = uuidN(2, 0x1E);
    auto written = [&](Uuid id, std::string body) {
        return TroupeLetterWritten{flea1,   id,       std::move(body),
                                   Date{0}, Date{10}, TroupeAnniversaryKind::oneYear};
    };
    TroupeSnapshot s = TroupeFold::fold({
        event(written(l2, "later id"), 100),
        event(written(l1, "repeat"), 100),
        event(written(l1, "repeat again"), 110),
        event(TroupeLetterId{l1}, 120, kDeviceB),
        event(TroupeLetterAcknowledged{l1, std::nullopt}, 130),
        event(TroupeLetterAcknowledged{l1, uuidN(5)}, 140),
        event(TroupeLetterId{uuidN(99)}, 150),
    });
    const auto& letters = s.lettersByFlea.at(flea1);
    ASSERT_EQ(letters.size(), 2u);
    // Equal writtenAt: applied order, which here is event id order (l2's event first).
    EXPECT_EQ(letters[0].id, l2);
    EXPECT_EQ(letters[1], (TroupeLetterEntry{l1,
                                             flea1,
                                             "repeat",
                                             Date{0},
                                             Date{10},
                                             Date{100},
                                             TroupeAnniversaryKind::oneYear,
                                             {kDeviceB},
                                             Date{130}}));
    EXPECT_TRUE(letters[0].readBy.empty());
}

TEST_F(FoldTest, LetterSearchVisitsFleasInIdOrder) {
    const Uuid shared = uuidN(7, 0x1E);
    TroupeSnapshot s = TroupeFold::fold({
        event(TroupeLetterWritten{flea2, shared, "b", Date{0}, Date{1}, std::nullopt}, 10),
        event(TroupeLetterWritten{flea1, shared, "a", Date{0}, Date{1}, std::nullopt}, 20),
        event(TroupeLetterId{shared}, 30, kDeviceB),
    });
    EXPECT_EQ(s.lettersByFlea.at(flea1)[0].readBy, std::set<Uuid>{kDeviceB});
    EXPECT_TRUE(s.lettersByFlea.at(flea2)[0].readBy.empty());
}

TEST_F(FoldTest, AnniversariesOncePerFleaAndKindSortedByTimeThenFlea) {
    TroupeSnapshot s = TroupeFold::fold({
        event(TroupeAnniversaryTriggered{flea2, TroupeAnniversaryKind::oneYear, Date{0}}, 100),
        event(TroupeAnniversaryTriggered{flea2, TroupeAnniversaryKind::adoption, Date{0}}, 100),
        event(TroupeAnniversaryTriggered{flea1, TroupeAnniversaryKind::oneYear, Date{0}}, 100),
        event(TroupeAnniversaryTriggered{flea1, TroupeAnniversaryKind::oneYear, Date{0}}, 50),
        // Folded after flea2's at the same time, yet the lower flea id goes first.
        event(TroupeAnniversaryTriggered{flea1, TroupeAnniversaryKind::adoption, Date{0}}, 100),
    });
    const std::vector<TroupeAnniversaryEntry> expected{
        {flea1, TroupeAnniversaryKind::oneYear, Date{50}},
        {flea1, TroupeAnniversaryKind::adoption, Date{100}},
        {flea2, TroupeAnniversaryKind::oneYear, Date{100}},
        {flea2, TroupeAnniversaryKind::adoption, Date{100}},
    };
    EXPECT_EQ(s.anniversariesSeen, expected);
}

}  // namespace
}  // namespace tw
