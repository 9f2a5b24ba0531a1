#include "troupe/event_model/troupe_snapshot_entries.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "troupe_test_events.h"

namespace tw {
namespace {

using testing::uuidN;

JsonDecodeError decodeError(auto decode, const std::string& text) {
    OrderedJson json = parseJson(text);
    try {
        decode(JsonReader(json));
    } catch (const JsonDecodeError& error) {
        return error;
    }
    ADD_FAILURE() << "decoded without error: " << text;
    return JsonDecodeError(JsonErrorKind::dataCorrupted, "", "");
}

TroupeFlea sampleFlea() {
    return TroupeFlea{.id = uuidN(1),
                      .name = "Pip",
                      .bodyColorIndex = 3,
                      .hatKind = "fez",
                      .discoveredAct = "cannon",
                      .createdAt = Date{700000000},
                      .traits = {"bold", "shy"},
                      .unlockedNodeIds = {"n1", "n2"}};
}

TEST(TroupeCumulativeStatsTest, ApplyIgnoresNegativeAndNaNAndFeedsOnlyTheNamedCounter) {
    TroupeCumulativeStats stats;
    stats.apply(TroupeCumulativeStat::clicks, -1);
    stats.apply(TroupeCumulativeStat::clicks, std::nan(""));
    stats.apply(TroupeCumulativeStat::clicks, 0);
    EXPECT_EQ(stats, TroupeCumulativeStats{});

    stats.apply(TroupeCumulativeStat::combos, 2.5);
    EXPECT_EQ(stats, (TroupeCumulativeStats{.combos = 2.5}));
    stats.apply(TroupeCumulativeStat::mouseDistance, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isinf(stats.mouseDistance));
    // A counter that cannot be written refuses to encode instead of writing null.
    EXPECT_THROW(stats.toJson(), JsonEncodeError);
}

TEST(TroupeCumulativeStatsTest, EmptyEqualsSixDecodedZerosAndEveryKeyIsRequired) {
    OrderedJson zeros = parseJson(
        R"({"clicks":0,"keystrokes":0,"sessions":0,"hoursSeconds":0,"mouseDistance":0,"combos":0})");
    EXPECT_EQ(TroupeCumulativeStats::fromJson(JsonReader(zeros)), TroupeCumulativeStats{});
    auto error =
        decodeError([](const JsonReader& r) { TroupeCumulativeStats::fromJson(r); },
                    R"({"clicks":0,"keystrokes":0,"sessions":0,"hoursSeconds":0,"mouseDistance":0})");
    EXPECT_EQ(error.kind(), JsonErrorKind::keyNotFound);
    EXPECT_EQ(error.path(), "combos");
}

TEST(TroupeFleaTest, WritesElevenKeysInOrderWithoutAbsentOptionalsAndRoundTrips) {
    TroupeFlea flea = sampleFlea();
    OrderedJson json = flea.toJson();
    std::vector<std::string> keys;
    for (const auto& [key, value] : json.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "name", "bodyColorIndex", "hatKind", "discoveredAct",
                                              "createdAt", "traits", "superstitions", "xp", "unlockedNodeIds",
                                              "tombstoned"}));
    EXPECT_EQ(json["id"], "00000000-0000-0000-0000-000000000001");
    EXPECT_EQ(json["createdAt"], "2023-03-08T20:26:40Z");
    EXPECT_EQ(TroupeFlea::fromJson(JsonReader(json)), flea);

    flea.voiceStyle = "gravelly";
    flea.ambition = "";
    flea.tombstoned = true;
    OrderedJson full = flea.toJson();
    EXPECT_EQ(full.size(), 13u);
    EXPECT_EQ(full["ambition"], "");
    EXPECT_EQ(TroupeFlea::fromJson(JsonReader(full)), flea);
}

TEST(TroupeFleaTest, DecodingRequiresTheFlagsAndListsButNotTheOptionals) {
    OrderedJson json = sampleFlea().toJson();
    for (const char* key : {"tombstoned", "unlockedNodeIds", "superstitions", "xp"}) {
        OrderedJson missing = json;
        missing.erase(key);
        auto error = decodeError([](const JsonReader& r) { TroupeFlea::fromJson(r); }, dumpJson(missing));
        EXPECT_EQ(error.kind(), JsonErrorKind::keyNotFound) << key;
        EXPECT_EQ(error.path(), key);
    }
    OrderedJson nulls = json;
    nulls["voiceStyle"] = nullptr;
    nulls["ambition"] = nullptr;
    TroupeFlea decoded = TroupeFlea::fromJson(JsonReader(nulls));
    EXPECT_FALSE(decoded.voiceStyle);
    EXPECT_FALSE(decoded.ambition);

    OrderedJson badXp = json;
    badXp["xp"] = "12";
    EXPECT_EQ(decodeError([](const JsonReader& r) { TroupeFlea::fromJson(r); }, dumpJson(badXp)).kind(),
              JsonErrorKind::typeMismatch);
}

TEST(TroupeFleaTest, EqualityFollowsListOrderSetsAndCanonicalText) {
    TroupeFlea a = sampleFlea();
    TroupeFlea b = a;
    b.traits = {"shy", "bold"};
    EXPECT_NE(a, b);

    b = a;
    b.unlockedNodeIds.clear();
    b.unlockedNodeIds.insert("n2");
    b.unlockedNodeIds.insert("n1");
    EXPECT_EQ(a, b);

    a.name =
        "Ren\xC3\xA9"
        "e";  // é composed
    b.name =
        "Rene\xCC\x81"
        "e";  // e + combining acute
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<TroupeFlea>{}(a), std::hash<TroupeFlea>{}(b));
    b.name = "Renee";
    EXPECT_NE(a, b);
}

TEST(TroupeMessageEntryTest, WritesOnlyPresentOptionalsAndReadsSpeakersExactly) {
    TroupeMessageEntry entry{
        .id = uuidN(5), .speaker = TroupeMessageEntry::Speaker::user, .body = "hi", .ts = Date{60}};
    OrderedJson json = entry.toJson();
    std::vector<std::string> keys;
    for (const auto& [key, value] : json.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "speaker", "body", "ts"}));
    EXPECT_EQ(TroupeMessageEntry::fromJson(JsonReader(json)), entry);

    entry.speaker = TroupeMessageEntry::Speaker::flea;
    entry.modelTier = TroupeMessageSource::template_;
    entry.conversationId = uuidN(9);
    OrderedJson full = entry.toJson();
    EXPECT_EQ(full["modelTier"], "template");
    EXPECT_EQ(TroupeMessageEntry::fromJson(JsonReader(full)), entry);

    for (const char* word : {"Flea", "FLEA", "bot"}) {
        OrderedJson bad = json;
        bad["speaker"] = word;
        auto error = decodeError([](const JsonReader& r) { TroupeMessageEntry::fromJson(r); }, dumpJson(bad));
        EXPECT_EQ(error.kind(), JsonErrorKind::dataCorrupted) << word;
        EXPECT_EQ(error.path(), "speaker");
    }
    OrderedJson badTier = full;
    badTier["modelTier"] = "Template";
    EXPECT_EQ(
        decodeError([](const JsonReader& r) { TroupeMessageEntry::fromJson(r); }, dumpJson(badTier)).kind(),
        JsonErrorKind::dataCorrupted);
}

TEST(TroupeLetterEntryTest, ReadByIsRequiredAndCollapsesRepeats) {
    TroupeLetterEntry letter{.id = uuidN(1),
                             .fleaId = uuidN(2),
                             .body = "Dear you",
                             .periodStart = Date{0},
                             .periodEnd = Date{86400},
                             .writtenAt = Date{90000}};
    OrderedJson json = letter.toJson();
    EXPECT_EQ(json["readBy"], OrderedJson::array());
    EXPECT_FALSE(json.contains("acknowledgedAt"));
    EXPECT_FALSE(json.contains("anniversaryKind"));
    TroupeLetterEntry decoded = TroupeLetterEntry::fromJson(JsonReader(json));
    EXPECT_TRUE(decoded.readBy.empty());
    EXPECT_FALSE(decoded.acknowledgedAt);

    OrderedJson missing = json;
    missing.erase("readBy");
    EXPECT_EQ(
        decodeError([](const JsonReader& r) { TroupeLetterEntry::fromJson(r); }, dumpJson(missing)).kind(),
        JsonErrorKind::keyNotFound);

    OrderedJson twice = json;
    const std::string device = testing::kDeviceA.uuidString();
    twice["readBy"] = OrderedJson::array({device, device});
    EXPECT_EQ(TroupeLetterEntry::fromJson(JsonReader(twice)).readBy, std::set<Uuid>{testing::kDeviceA});

    letter.anniversaryKind = TroupeAnniversaryKind::oneYear;
    letter.acknowledgedAt = Date{91000};
    letter.readBy = {testing::kDeviceB};
    OrderedJson full = letter.toJson();
    EXPECT_EQ(full["anniversaryKind"], "1y");
    EXPECT_EQ(TroupeLetterEntry::fromJson(JsonReader(full)), letter);
}

TEST(TroupeDeviceSeenTest, RoundTripsAndRefusesUnknownKinds) {
    TroupeDeviceSeen device{
        .deviceId = uuidN(3), .deviceKind = TroupeDeviceKind::appleTV, .lastSeen = Date{10}};
    OrderedJson json = device.toJson();
    EXPECT_EQ(json["deviceKind"], "AppleTV");
    EXPECT_FALSE(json.contains("deviceName"));
    EXPECT_EQ(TroupeDeviceSeen::fromJson(JsonReader(json)), device);
    json["deviceKind"] = "appleTV";
    EXPECT_EQ(decodeError([](const JsonReader& r) { TroupeDeviceSeen::fromJson(r); }, dumpJson(json)).kind(),
              JsonErrorKind::dataCorrupted);
}

}  // namespace
}  // namespace tw
