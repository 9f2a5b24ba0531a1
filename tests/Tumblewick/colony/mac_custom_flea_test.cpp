#include "Tumblewick/colony/mac_custom_flea.h"

#include <gtest/gtest.h>

#include "Tumblewick/colony/mac_flea_levels.h"

namespace tw {
namespace {

MacCustomFlea sampleFlea() {
    MacCustomFlea flea;
    flea.id = *Uuid::parse("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    flea.name = "Tiny Tim";
    flea.bodyColorIndex = 3;
    flea.hatKind = "crown";
    flea.discoveredAct = "juggling";
    flea.createdAt = Date{761234567.125};
    flea.xp = 42;
    flea.unlockedNodeIDs = {"a", "b"};
    return flea;
}

TEST(MacCustomFleaJson, RoundTripsWithUpperCaseIdAndReadsLowerCase) {
    const auto flea = sampleFlea();
    const auto json = encodeMacCustomFlea(flea);
    EXPECT_EQ(json["id"], "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
    EXPECT_EQ(json.size(), 8u);
    EXPECT_EQ(decodeMacCustomFlea(JsonReader(json)), flea);

    auto lower = json;
    lower["id"] = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
    lower["somethingNew"] = true;  // unknown keys are ignored
    EXPECT_EQ(decodeMacCustomFlea(JsonReader(lower)), flea);
    EXPECT_EQ(std::hash<MacCustomFlea>{}(decodeMacCustomFlea(JsonReader(lower))),
              std::hash<MacCustomFlea>{}(flea));
}

TEST(MacCustomFleaJson, RefusesMissingKeysAndWrongTypes) {
    const auto json = encodeMacCustomFlea(sampleFlea());
    auto missing = json;
    missing.erase("unlockedNodeIDs");
    EXPECT_THROW(decodeMacCustomFlea(JsonReader(missing)), JsonDecodeError);
    auto xpText = json;
    xpText["xp"] = "42";
    EXPECT_THROW(decodeMacCustomFlea(JsonReader(xpText)), JsonDecodeError);
    auto fractionalIndex = json;
    fractionalIndex["bodyColorIndex"] = 2.5;
    EXPECT_THROW(decodeMacCustomFlea(JsonReader(fractionalIndex)), JsonDecodeError);

    // One bad element fails the whole list rather than dropping a flea silently.
    OrderedJson list = OrderedJson::array({json, missing});
    EXPECT_THROW(decodeMacCustomFleas(JsonReader(list)), JsonDecodeError);
    EXPECT_EQ(decodeMacCustomFleas(JsonReader(OrderedJson::array({json}))).size(), 1u);
}

TEST(MacCustomFleaJson, RefusesToWriteANonFiniteCreationTime) {
    auto flea = sampleFlea();
    flea.createdAt = Date{std::numeric_limits<double>::quiet_NaN()};
    EXPECT_THROW(encodeMacCustomFleas({flea}), JsonEncodeError);
}

class MacFleaLevelsTest : public ::testing::Test {
   protected:
    void TearDown() override { MacFleaLevels::thresholds() = MacFleaLevels::builtInThresholds(); }
};

TEST_F(MacFleaLevelsTest, BuiltInTable) {
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 1}, {14, 1}, {15, 2}, {39, 2}, {40, 3}, {2599, 11}, {2600, 12}, {999999, 12}, {-5, 1}};
    for (auto [xp, level] : cases) EXPECT_EQ(MacFleaLevels::level(xp), level) << xp;
    using B = MacFleaLevels::ProgressBounds;
    EXPECT_EQ(MacFleaLevels::progressBounds(0), (B{0, 15}));
    EXPECT_EQ(MacFleaLevels::progressBounds(15), (B{15, 40}));
    EXPECT_EQ(MacFleaLevels::progressBounds(2599), (B{2000, 2600}));
    EXPECT_EQ(MacFleaLevels::progressBounds(5000), (B{2600, 2600}));
}

TEST_F(MacFleaLevelsTest, UnsortedShortAndEmptyTables) {
    using B = MacFleaLevels::ProgressBounds;
    MacFleaLevels::thresholds() = {0, 50, 20};
    EXPECT_EQ(MacFleaLevels::level(30), 3);

    MacFleaLevels::thresholds() = {10, 20};
    EXPECT_EQ(MacFleaLevels::level(5), 1);
    EXPECT_EQ(MacFleaLevels::progressBounds(5), (B{10, 20}));

    MacFleaLevels::thresholds() = {0};
    EXPECT_EQ(MacFleaLevels::level(1000), 1);
    EXPECT_EQ(MacFleaLevels::progressBounds(1000), (B{0, 0}));

    MacFleaLevels::thresholds() = {};
    EXPECT_EQ(MacFleaLevels::level(1000), 1);
    EXPECT_EQ(MacFleaLevels::progressBounds(1000), (B{0, 0}));
    auto flea = sampleFlea();
    EXPECT_EQ(flea.level(), 1);
}

}  // namespace
}  // namespace tw
