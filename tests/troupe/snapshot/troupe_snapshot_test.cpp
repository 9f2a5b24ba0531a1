#include "troupe/event_model/troupe_snapshot.h"

#include <gtest/gtest.h>

#include "troupe_test_events.h"

namespace tw {
namespace {

using testing::uuidN;
using Speaker = TroupeMessageEntry::Speaker;

TroupeFlea flea(std::uint64_t n, double createdAt, bool tombstoned = false) {
    return TroupeFlea{.id = uuidN(n),
                      .name = "flea" + std::to_string(n),
                      .hatKind = "cap",
                      .discoveredAct = "act",
                      .createdAt = Date{createdAt},
                      .unlockedNodeIds = {"node" + std::to_string(n)},
                      .tombstoned = tombstoned};
}

TroupeLetterEntry letter(std::uint64_t n, std::uint64_t fleaN, double writtenAt) {
    return TroupeLetterEntry{.id = uuidN(n, 0x1E),
                             .fleaId = uuidN(fleaN),
                             .body = "letter",
                             .periodStart = Date{0},
                             .periodEnd = Date{1},
                             .writtenAt = Date{writtenAt}};
}

TroupeMessageEntry message(std::uint64_t n, Speaker speaker) {
    return TroupeMessageEntry{.id = uuidN(n, 0x3E), .speaker = speaker, .body = "m", .ts = Date{double(n)}};
}

// A snapshot with something in every field.
TroupeSnapshot fullSnapshot() {
    TroupeSnapshot s;
    s.fleas = {{uuidN(1), flea(1, 3600)}, {uuidN(2), flea(2, 7200, true)}};
    s.stats = TroupeCumulativeStats{.clicks = 12, .hoursSeconds = 3.5};
    s.milestonesEarned = {"first-show", "hundred-hops"};
    s.milestoneAcksByDevice = {{"first-show", {testing::kDeviceA, testing::kDeviceB}}};
    s.surpriseEventsFired = {{"rain", 3}};
    s.portableSettings = {{"theme", TroupeSettingValue::ofString("dusk")},
                          {"pinnedAct", TroupeSettingValue::null()},
                          {"idleStories", TroupeSettingValue::ofStringArray({"a", "b"})}};
    s.devices = {{testing::kDeviceA,
                  TroupeDeviceSeen{testing::kDeviceA, TroupeDeviceKind::linuxDesktop, "box", Date{9000}}}};
    s.lastEventTs = Date{9000};
    s.eventCount = 42;
    s.conversationsByFlea = {{uuidN(1), {message(1, Speaker::user), message(2, Speaker::flea)}}};
    s.lettersByFlea = {{uuidN(1), {letter(1, 1, 100)}}};
    s.anniversariesSeen = {TroupeAnniversaryEntry{uuidN(1), TroupeAnniversaryKind::adoption, Date{50}}};
    return s;
}

JsonDecodeError decodeError(const OrderedJson& json) {
    try {
        TroupeSnapshot::fromJson(JsonReader(json));
    } catch (const JsonDecodeError& error) {
        return error;
    }
    ADD_FAILURE() << "decoded without error: " << dumpJson(json);
    return JsonDecodeError(JsonErrorKind::dataCorrupted, "", "");
}

TEST(TroupeSnapshotJsonTest, EmptySnapshotWritesElevenKeysWithEmptyCollections) {
    OrderedJson json = TroupeSnapshot{}.toJson();
    EXPECT_EQ(dumpJson(json),
              R"({"fleas":[],"stats":{"clicks":0.0,"keystrokes":0.0,"sessions":0.0,"hoursSeconds":0.0,)"
              R"("mouseDistance":0.0,"combos":0.0},"milestonesEarned":[],"milestoneAcksByDevice":{},)"
              R"("surpriseEventsFired":{},"portableSettings":{},"devices":[],"eventCount":0,)"
              R"("conversationsByFlea":[],"lettersByFlea":[],"anniversariesSeen":[]})");
    EXPECT_EQ(TroupeSnapshot::fromJson(JsonReader(json)), TroupeSnapshot{});
}

TEST(TroupeSnapshotJsonTest, UuidKeyedDictionariesAlternateKeyAndValue) {
    TroupeSnapshot s;
    s.fleas = {{uuidN(1), flea(1, 10)}};
    OrderedJson json = s.toJson();
    ASSERT_EQ(json["fleas"].size(), 2u);
    EXPECT_EQ(json["fleas"][0], "00000000-0000-0000-0000-000000000001");
    EXPECT_EQ(json["fleas"][1]["name"], "flea1");
}

TEST(TroupeSnapshotJsonTest, FullSnapshotRoundTripsAndHashesAlike) {
    TroupeSnapshot s = fullSnapshot();
    OrderedJson json = parseJson(dumpJson(s.toJson()));
    TroupeSnapshot back = TroupeSnapshot::fromJson(JsonReader(json));
    EXPECT_EQ(back, s);
    EXPECT_EQ(std::hash<TroupeSnapshot>{}(back), std::hash<TroupeSnapshot>{}(s));
    EXPECT_EQ(json["portableSettings"]["pinnedAct"], nullptr);
    EXPECT_EQ(json["lastEventTs"], "2001-01-01T02:30:00Z");
    std::vector<std::string> keys;
    for (const auto& [key, value] : json.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"fleas", "stats", "milestonesEarned", "milestoneAcksByDevice",
                                              "surpriseEventsFired", "portableSettings", "devices",
                                              "lastEventTs", "eventCount", "conversationsByFlea",
                                              "lettersByFlea", "anniversariesSeen"}));
}

TEST(TroupeSnapshotJsonTest, OnlyLastEventTsIsOptional) {
    OrderedJson json = fullSnapshot().toJson();
    OrderedJson without = json;
    without.erase("lastEventTs");
    EXPECT_FALSE(TroupeSnapshot::fromJson(JsonReader(without)).lastEventTs);
    without["lastEventTs"] = nullptr;
    EXPECT_FALSE(TroupeSnapshot::fromJson(JsonReader(without)).lastEventTs);

    for (const auto& [key, value] : json.items()) {
        if (key == "lastEventTs") continue;
        OrderedJson missing = json;
        missing.erase(key);
        auto error = decodeError(missing);
        EXPECT_EQ(error.kind(), JsonErrorKind::keyNotFound) << key;
        EXPECT_EQ(error.path(), key);
        OrderedJson null = json;
        null[key] = nullptr;
        EXPECT_EQ(decodeError(null).kind(), JsonErrorKind::valueNotFound) << key;
    }
}

TEST(TroupeSnapshotJsonTest, RefusesMalformedDictionaries) {
    OrderedJson json = fullSnapshot().toJson();

    OrderedJson objectFleas = json;
    objectFleas["fleas"] = OrderedJson::object({{uuidN(1).uuidString(), json["fleas"][1]}});
    EXPECT_EQ(decodeError(objectFleas).kind(), JsonErrorKind::typeMismatch);

    OrderedJson oddDevices = json;
    oddDevices["devices"].push_back(testing::kDeviceB.uuidString());
    auto odd = decodeError(oddDevices);
    EXPECT_EQ(odd.kind(), JsonErrorKind::dataCorrupted);
    EXPECT_EQ(odd.path(), "devices");

    OrderedJson badKey = json;
    badKey["fleas"][0] = "not-a-uuid";
    auto bad = decodeError(badKey);
    EXPECT_EQ(bad.kind(), JsonErrorKind::dataCorrupted);
    EXPECT_EQ(bad.path(), "fleas[0]");

    OrderedJson arraySettings = json;
    arraySettings["portableSettings"] = OrderedJson::array();
    EXPECT_EQ(decodeError(arraySettings).kind(), JsonErrorKind::typeMismatch);

    OrderedJson textCount = json;
    textCount["eventCount"] = "42";
    EXPECT_EQ(decodeError(textCount).kind(), JsonErrorKind::typeMismatch);

    OrderedJson badSetting = json;
    badSetting["portableSettings"]["theme"] = OrderedJson::object();
    EXPECT_EQ(decodeError(badSetting).kind(), JsonErrorKind::typeMismatch);
}

TEST(TroupeSnapshotJsonTest, RepeatedKeyKeepsTheLaterPairAndLowerCaseIdsRead) {
    OrderedJson json = TroupeSnapshot{}.toJson();
    TroupeFlea first = flea(1, 10);
    TroupeFlea second = flea(1, 20);
    std::string lower = "00000000-0000-0000-0000-00000000000a";
    json["fleas"] = OrderedJson::array({uuidN(1).uuidString(), first.toJson(), uuidN(1).uuidString(),
                                        second.toJson(), lower, flea(0xA, 5).toJson()});
    TroupeSnapshot s = TroupeSnapshot::fromJson(JsonReader(json));
    ASSERT_EQ(s.fleas.size(), 2u);
    EXPECT_EQ(s.fleas.at(uuidN(1)), second);
    EXPECT_TRUE(s.fleas.contains(uuidN(0xA)));
}

TEST(TroupeSnapshotQueriesTest, ActiveFleasSkipTombstonesAndSortByCreation) {
    TroupeSnapshot s;
    s.fleas = {{uuidN(1), flea(1, 10 * 3600)},
               {uuidN(2), flea(2, 9 * 3600)},
               {uuidN(3), flea(3, 11 * 3600)},
               {uuidN(4), flea(4, 1, true)}};
    auto active = s.activeFleas();
    ASSERT_EQ(active.size(), 3u);
    EXPECT_EQ(active[0].id, uuidN(2));
    EXPECT_EQ(active[1].id, uuidN(1));
    EXPECT_EQ(active[2].id, uuidN(3));

    EXPECT_EQ(s.unlocks(uuidN(4)), TroupeTextSet{"node4"});
    EXPECT_TRUE(s.unlocks(uuidN(9)).empty());
}

TEST(TroupeSnapshotQueriesTest, MilestonesAndDevices) {
    TroupeSnapshot s = fullSnapshot();
    EXPECT_TRUE(s.hasAcknowledgedMilestone("first-show", testing::kDeviceB));
    EXPECT_FALSE(s.hasAcknowledgedMilestone("hundred-hops", testing::kDeviceA));
    EXPECT_FALSE(s.hasAcknowledgedMilestone("First-show", testing::kDeviceA));
    s.milestoneAcksByDevice["never-earned"] = {testing::kDeviceA};
    EXPECT_TRUE(s.hasAcknowledgedMilestone("never-earned", testing::kDeviceA));
    EXPECT_EQ(s.lastSeen(testing::kDeviceA), Date{9000});
    EXPECT_FALSE(s.lastSeen(testing::kDeviceB));
}

TEST(TroupeSnapshotQueriesTest, LettersNewestFirstAndUnreadPerDevice) {
    TroupeSnapshot s;
    s.lettersByFlea = {{uuidN(1), {letter(1, 1, 8 * 3600), letter(2, 1, 12 * 3600)}},
                       {uuidN(2), {letter(3, 2, 10 * 3600)}}};
    auto all = s.allLetters();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].id, uuidN(2, 0x1E));
    EXPECT_EQ(all[1].id, uuidN(3, 0x1E));
    EXPECT_EQ(all[2].id, uuidN(1, 0x1E));

    s.lettersByFlea[uuidN(1)][0].acknowledgedAt = Date{1};      // acknowledged, read nowhere
    s.lettersByFlea[uuidN(1)][1].readBy = {testing::kDeviceA};  // read here
    s.lettersByFlea[uuidN(2)][0].readBy = {testing::kDeviceB};  // read elsewhere only
    auto unread = s.unreadLetters(testing::kDeviceA);
    ASSERT_EQ(unread.size(), 1u);
    EXPECT_EQ(unread[0].id, uuidN(3, 0x1E));
}

TEST(TroupeSnapshotQueriesTest, MessageCountsAndMostTalkedTo) {
    TroupeSnapshot s;
    EXPECT_FALSE(s.mostTalkedToFleaId());
    s.conversationsByFlea[uuidN(1)] = {message(1, Speaker::flea), message(2, Speaker::flea)};
    EXPECT_EQ(s.mostTalkedToFleaId(), uuidN(1));  // zero user messages still names a flea

    s.conversationsByFlea[uuidN(1)] = {message(1, Speaker::user), message(2, Speaker::flea),
                                       message(3, Speaker::flea), message(4, Speaker::flea),
                                       message(5, Speaker::flea), message(6, Speaker::flea)};
    s.conversationsByFlea[uuidN(2)] = {message(7, Speaker::user), message(8, Speaker::user)};
    EXPECT_EQ(s.mostTalkedToFleaId(), uuidN(2));
    EXPECT_EQ(s.totalUserMessageCount(), 3);
    EXPECT_EQ(s.totalFleaMessageCount(), 5);

    // Ties go to the lowest flea id.
    s.conversationsByFlea[uuidN(0)] = {message(9, Speaker::user), message(10, Speaker::user)};
    EXPECT_EQ(s.mostTalkedToFleaId(), uuidN(0));
}

TEST(TroupeSnapshotEqualityTest, StringKeysCompareByCanonicalEquivalence) {
    TroupeSnapshot a;
    TroupeSnapshot b;
    a.surpriseEventsFired = {{"caf\xC3\xA9", 1}};
    b.surpriseEventsFired = {{"cafe\xCC\x81", 1}};
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<TroupeSnapshot>{}(a), std::hash<TroupeSnapshot>{}(b));
    b.surpriseEventsFired = {{"cafe\xCC\x81", 2}};
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace tw
