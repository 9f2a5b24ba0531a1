#include <gtest/gtest.h>

#include "troupe/snapshot/troupe_fold.h"
#include "troupe_test_events.h"

namespace tw {
namespace {

using testing::uuidN;

TroupeLegacyFleaSnapshot legacyFlea(std::uint64_t n, std::string name, std::int64_t xp,
                                    std::vector<std::string> nodes = {}) {
    return TroupeLegacyFleaSnapshot{uuidN(n),   std::move(name), 4,  "beret",         "juggling",
                                    Date{1000}, {"calm"},        xp, std::move(nodes)};
}

class LegacyFoldTest : public ::testing::Test {
   protected:
    void importInto(TroupeSnapshot& s, TroupeLegacyStateSnapshot legacy, double ts = 500) {
        TroupeFold::apply(testing::makeEvent(std::move(legacy), ts, uuidN(++next_, 0xEE)), s);
    }
    TroupeSnapshot base() {
        TroupeSnapshot s;
        s.fleas[uuidN(1)] = TroupeFlea{.id = uuidN(1), .name = "Known", .createdAt = Date{5}, .xp = 10};
        s.stats.clicks = 80.5;
        s.stats.hoursSeconds = 100;
        s.surpriseEventsFired["rain"] = 1;
        s.portableSettings["theme"] = TroupeSettingValue::ofString("dawn");
        s.lastEventTs = Date{900};
        return s;
    }
    std::uint64_t next_ = 0;
};

TEST_F(LegacyFoldTest, AnEmptyLegacyStateChangesNothing) {
    TroupeSnapshot s = base();
    importInto(s, TroupeLegacyStateSnapshot{"macOS", "1.0", {}, std::nullopt, {}, {}, {}});
    EXPECT_EQ(s, base());
}

TEST_F(LegacyFoldTest, AddsMissingFleasOnlyAndCollapsesRepeatedNodes) {
    TroupeSnapshot s = base();
    s.fleas[uuidN(2)] = TroupeFlea{.id = uuidN(2), .name = "Gone", .tombstoned = true};
    importInto(s,
               TroupeLegacyStateSnapshot{"macOS",
                                         "1.0",
                                         {legacyFlea(1, "Other name", 999), legacyFlea(2, "Revived", 5),
                                          legacyFlea(3, "New", 40, {"a", "b", "a"}), legacyFlea(3, "Dup", 1)},
                                         std::nullopt,
                                         {},
                                         {},
                                         {}});
    EXPECT_EQ(s.fleas.at(uuidN(1)), base().fleas.at(uuidN(1)));
    EXPECT_TRUE(s.fleas.at(uuidN(2)).tombstoned);
    EXPECT_EQ(s.fleas.at(uuidN(3)), (TroupeFlea{.id = uuidN(3),
                                                .name = "New",
                                                .bodyColorIndex = 4,
                                                .hatKind = "beret",
                                                .discoveredAct = "juggling",
                                                .createdAt = Date{1000},
                                                .traits = {"calm"},
                                                .xp = 40,
                                                .unlockedNodeIds = {"a", "b"}}));
}

TEST_F(LegacyFoldTest, CountersEndAtTheLargerValue) {
    TroupeSnapshot s = base();
    importInto(s, TroupeLegacyStateSnapshot{
                      "macOS",
                      "1.0",
                      {},
                      TroupeLegacyStatsBlob{.clicks = 120, .keystrokes = 0, .hoursSeconds = 50},
                      {},
                      {},
                      {}});
    EXPECT_EQ(s.stats, (TroupeCumulativeStats{.clicks = 120, .hoursSeconds = 100}));

    TroupeSnapshot lower = base();
    importInto(lower, TroupeLegacyStateSnapshot{
                          "macOS", "1.0", {}, TroupeLegacyStatsBlob{.clicks = 50}, {}, {}, {}});
    EXPECT_EQ(lower.stats.clicks, 80.5);
}

TEST_F(LegacyFoldTest, MilestonesSurprisesAndPortableSettings) {
    TroupeSnapshot s = base();
    TroupeLegacyStateSnapshot legacy{
        "macOS",
        "1.0",
        {},
        std::nullopt,
        {"first-show", "first-show"},
        {"rain", "rain", "comet"},
        {{"theme", TroupeSettingValue::ofString("dusk")}, {"windowX", TroupeSettingValue::ofInt(3)}}};
    importInto(s, legacy);
    EXPECT_EQ(s.milestonesEarned, TroupeTextSet{"first-show"});
    EXPECT_EQ(s.surpriseEventsFired.at("rain"), 3);
    EXPECT_EQ(s.surpriseEventsFired.at("comet"), 1);
    EXPECT_EQ(s.portableSettings.size(), 1u);
    EXPECT_EQ(s.portableSettings.at("theme"), TroupeSettingValue::ofString("dusk"));
    EXPECT_EQ(s.lastEventTs, Date{900});  // earlier event leaves it

    // A second import adds the surprise counts again and nothing else.
    TroupeSnapshot once = s;
    importInto(s, legacy);
    once.surpriseEventsFired["rain"] = 5;
    once.surpriseEventsFired["comet"] = 2;
    EXPECT_EQ(s, once);
}

}  // namespace
}  // namespace tw
