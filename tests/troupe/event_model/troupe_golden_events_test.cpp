// One golden log line per event kind: decoding gives the expected record, and
// encoding gives back the very same bytes.
#include <gtest/gtest.h>

#include <memory>

#include "troupe/event_model/troupe_json.h"
#include "troupe/event_model/troupe_snapshot.h"
#include "troupe_test_ids.h"

namespace tw {
namespace {

using namespace troupe_test;

Date date(const char* text) { return *parseIso8601(text); }

std::string q(const char* text) { return std::string("\"") + text + "\""; }

struct Golden {
    TroupeEventKind kind;
    std::string body;
    TroupePayload expected;
};

std::vector<Golden> goldens() {
    const Uuid flea = id(kFlea);
    TroupeSnapshot snapshot;
    snapshot.eventCount = 7;
    snapshot.lastEventTs = date("2025-01-31T23:59:59Z");
    snapshot.milestonesEarned = {"m1"};
    snapshot.devices[id(kDevice)] =
        TroupeDeviceSeen{id(kDevice), TroupeDeviceKind::iPad, std::nullopt, date("2025-01-30T00:00:00Z")};
    // Built before the list: as a temporary inside it, GCC 12 at -O3 wrongly warns that
    // its shared_ptr may be destroyed uninitialized.
    const TroupeCheckpointPayload checkpoint{std::make_shared<const TroupeSnapshot>(snapshot),
                                             date("2025-02-01T00:00:00Z")};

    return {
        {TroupeEventKind::fleaCreated,
         R"({"bodyColorIndex":3,"createdAt":"2024-12-25T10:00:00Z","discoveredAct":"trapeze","fleaId":)" +
             q(kFlea) + R"(,"hatKind":"top_hat","name":"Pip","traits":["brave","tiny"]})",
         TroupeFleaCreated{
             flea, "Pip", 3, "top_hat", "trapeze", date("2024-12-25T10:00:00Z"), {"brave", "tiny"}}},
        {TroupeEventKind::fleaRenamed, R"({"fleaId":)" + q(kFlea) + R"(,"newName":"Zoë 🎪"})",
         TroupeFleaRenamed{flea, "Zoë 🎪"}},
        {TroupeEventKind::fleaRecustomized,
         R"({"ambition":"fame","bodyColorIndex":2,"fleaId":)" + q(kFlea) +
             R"(,"superstitions":[],"traits":["shy"]})",
         TroupeFleaRecustomized{flea, std::nullopt, 2, std::vector<std::string>{"shy"}, std::nullopt, "fame",
                                std::vector<std::string>{}}},
        {TroupeEventKind::fleaDeleted, R"({"fleaId":)" + q(kFlea) + "}", TroupeFleaIdOnly{flea}},
        {TroupeEventKind::xpEarned, R"({"amount":25,"source":"click"})",
         TroupeXPEarned{std::nullopt, 25, TroupeXPSource::click}},
        {TroupeEventKind::nodeUnlocked,
         R"({"actKey":"trapeze","fleaId":)" + q(kFlea) + R"(,"nodeId":"trapeze.1","xpCost":-5})",
         TroupeNodeUnlocked{flea, "trapeze", "trapeze.1", -5}},
        {TroupeEventKind::actAssigned, R"({"actKey":"cannon","fleaId":)" + q(kFlea) + "}",
         TroupeActAssigned{flea, "cannon"}},
        {TroupeEventKind::cumulativeStatTick, R"({"delta":12.5,"stat":"mouseDistance"})",
         TroupeCumulativeStatTick{TroupeCumulativeStat::mouseDistance, 12.5}},
        {TroupeEventKind::milestoneEarned, R"({"milestoneId":"first_click"})",
         TroupeMilestoneEarned{"first_click"}},
        {TroupeEventKind::milestoneAcknowledged,
         R"({"ackDeviceId":)" + q(kDevice) + R"(,"milestoneId":"first_click"})",
         TroupeMilestoneAcknowledged{"first_click", id(kDevice)}},
        {TroupeEventKind::surpriseEventFired, R"({"eventKind":"rain_of_fleas"})",
         TroupeSurpriseEventFired{"rain_of_fleas"}},
        {TroupeEventKind::settingChanged, R"({"key":"theme","value":["dark","warm"]})",
         TroupeSettingChanged{"theme", TroupeSettingValue::ofStringArray({"dark", "warm"})}},
        {TroupeEventKind::deviceSessionStart, R"({"deviceKind":"LinuxDesktop","deviceName":"workbench"})",
         TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "workbench"}},
        {TroupeEventKind::deviceSessionEnd, R"({"durationSeconds":3600.25})",
         TroupeDeviceSessionEnd{3600.25}},
        {TroupeEventKind::legacyStateSnapshot,
         R"({"fleas":[{"bodyColorIndex":1,"createdAt":"2023-01-01T00:00:00Z","discoveredAct":"juggle","fleaId":)" +
             q(kFlea) +
             R"(,"hatKind":"","name":"Old","traits":[],"unlockedNodeIds":["j1"],"xp":40}],"milestonesEarned":["m1"],)"
             R"("originPlatform":"desktop","originVersion":"1.3.0","portableSettings":{"cursorTrail":true,"theme":"dark"},)"
             R"("stats":{"clicks":10,"combos":0,"hoursSeconds":7200.5,"keystrokes":20,"mouseDistance":0.5,"sessions":3},)"
             R"("surpriseEventsFired":["rain","rain"]})",
         TroupeLegacyStateSnapshot{
             "desktop",
             "1.3.0",
             {TroupeLegacyFleaSnapshot{
                 flea, "Old", 1, "", "juggle", date("2023-01-01T00:00:00Z"), {}, 40, {"j1"}}},
             TroupeLegacyStatsBlob{10, 20, 3, 7200.5, 0.5, 0},
             {"m1"},
             {"rain", "rain"},
             {{"cursorTrail", TroupeSettingValue::ofBool(true)},
              {"theme", TroupeSettingValue::ofString("dark")}}}},
        {TroupeEventKind::checkpoint,
         R"({"replacesEventsUpTo":"2025-02-01T00:00:00Z","snapshotBlob":{"anniversariesSeen":[],"conversationsByFlea":[],)"
         R"("devices":[)" +
             q(kDevice) + R"(,{"deviceId":)" + q(kDevice) +
             R"(,"deviceKind":"iPad","lastSeen":"2025-01-30T00:00:00Z"}],"eventCount":7,"fleas":[],)"
             R"("lastEventTs":"2025-01-31T23:59:59Z","lettersByFlea":[],"milestoneAcksByDevice":{},"milestonesEarned":["m1"],)"
             R"("portableSettings":{},"stats":{"clicks":0.0,"combos":0.0,"hoursSeconds":0.0,"keystrokes":0.0,)"
             R"("mouseDistance":0.0,"sessions":0.0},"surpriseEventsFired":{}}})",
         checkpoint},
        {TroupeEventKind::fleaMessageFromUser,
         R"({"body":"hi","fleaId":)" + q(kFlea) + R"(,"messageId":)" + q(kMessage) + "}",
         TroupeFleaMessageFromUser{flea, id(kMessage), "hi", std::nullopt}},
        {TroupeEventKind::fleaMessageFromFlea,
         R"({"body":"hello","conversationId":)" + q(kConversation) + R"(,"fleaId":)" + q(kFlea) +
             R"(,"inReplyTo":)" + q(kMessage) + R"(,"messageId":)" + q(kMessage2) +
             R"(,"modelTier":"template"})",
         TroupeFleaMessageFromFlea{flea, id(kMessage2), "hello", id(kMessage), TroupeMessageSource::template_,
                                   id(kConversation)}},
        {TroupeEventKind::letterWritten,
         R"({"anniversaryKind":"1y","body":"Dear you","fleaId":)" + q(kFlea) + R"(,"letterId":)" +
             q(kLetter) + R"(,"periodEnd":"2025-01-01T00:00:00Z","periodStart":"2024-01-01T00:00:00Z"})",
         TroupeLetterWritten{flea, id(kLetter), "Dear you", date("2024-01-01T00:00:00Z"),
                             date("2025-01-01T00:00:00Z"), TroupeAnniversaryKind::oneYear}},
        {TroupeEventKind::letterRead, R"({"letterId":)" + q(kLetter) + "}", TroupeLetterId{id(kLetter)}},
        {TroupeEventKind::letterAcknowledged,
         R"({"letterId":)" + q(kLetter) + R"(,"replyMessageId":)" + q(kMessage) + "}",
         TroupeLetterAcknowledged{id(kLetter), id(kMessage)}},
        {TroupeEventKind::conversationStarted,
         R"({"conversationId":)" + q(kConversation) + R"(,"fleaId":)" + q(kFlea) + "}",
         TroupeConversationStarted{flea, id(kConversation)}},
        {TroupeEventKind::anniversaryTriggered,
         R"({"anniversaryKind":"adoption","fleaId":)" + q(kFlea) +
             R"(,"originalEventTs":"2024-02-03T04:05:06Z"})",
         TroupeAnniversaryTriggered{flea, TroupeAnniversaryKind::adoption, date("2024-02-03T04:05:06Z")}},
    };
}

TEST(TroupeGoldenEvents, EveryKindDecodesToItsRecordAndEncodesToTheSameLine) {
    const auto all = goldens();
    ASSERT_EQ(all.size(), 23u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto& g = all[i];
        SCOPED_TRACE(std::string(rawValue(g.kind)));
        ASSERT_EQ(static_cast<std::size_t>(g.kind), i);
        const std::string text = line(std::string(rawValue(g.kind)), g.body);

        const TroupeEvent event = decodeTroupeEventLine(text);
        EXPECT_EQ(event.id, id(kEvent));
        EXPECT_EQ(event.kind, g.kind);
        EXPECT_EQ(event.payload.value.index(), i);
        EXPECT_EQ(event.payload, g.expected);
        EXPECT_EQ(event.ts, date("2025-02-03T04:05:06Z"));
        EXPECT_EQ(event.deviceId, id(kDevice));
        EXPECT_EQ(event.schemaVersion, 1);

        EXPECT_EQ(encodeTroupeEventLine(event), text);
        EXPECT_EQ(decodeTroupeEventLine(encodeTroupeEventLine(event)), event);
        // Built in code, the payload writes the same body as the golden line.
        EXPECT_EQ(Json::parse(dumpJson(toJson(g.expected)["body"])), Json::parse(g.body));
    }
}

TEST(TroupeGoldenEvents, KeysAreWrittenInDeclarationOrder) {
    const TroupeEvent event{id(kEvent),
                            TroupeEventKind::fleaCreated,
                            TroupeFleaCreated{id(kFlea), "Pip", 3, "top_hat", "trapeze", Date{0}, {}},
                            Date{0},
                            id(kDevice),
                            troupeSchemaVersion};
    const OrderedJson json = toJson(event);
    std::vector<std::string> keys;
    for (auto it = json.begin(); it != json.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "kind", "payload", "ts", "deviceId", "schemaVersion"}));
    EXPECT_EQ(dumpJson(json["payload"]),
              R"({"kind":"flea_created","body":{"fleaId":")" + std::string(kFlea) +
                  R"(","name":"Pip","bodyColorIndex":3,"hatKind":"top_hat","discoveredAct":"trapeze",)"
                  R"("createdAt":"2001-01-01T00:00:00Z","traits":[]}})");
}

TEST(TroupeGoldenEvents, ReaderIsLenientAboutOrderCaseOfIdsAndUnknownKeys) {
    // Keys shuffled, ids in lower case, extra keys at every level.
    const std::string text =
        R"({"schemaVersion":2,"extra":1,"ts":"2025-02-03T04:05:06Z","payload":{"zzz":[],)"
        R"("body":{"newName":"Pip","fleaId":"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0","x":true},)"
        R"("kind":"flea_renamed"},"kind":"flea_deleted","id":"11111111-2222-3333-4444-555555555555",)"
        R"("deviceId":"aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee"})";
    const TroupeEvent event = decodeTroupeEventLine(text);
    // The envelope's kind and the payload's are kept as they came.
    EXPECT_EQ(event.kind, TroupeEventKind::fleaDeleted);
    EXPECT_EQ(event.payload, TroupePayload(TroupeFleaRenamed{id(kFlea), "Pip"}));
    EXPECT_EQ(event.schemaVersion, 2);
    EXPECT_EQ(event.deviceId, id(kDevice));
    std::string expected =
        line("flea_renamed", R"({"fleaId":")" + std::string(kFlea) + R"(","newName":"Pip"})", "flea_deleted");
    expected.replace(expected.find("\"schemaVersion\":1"), 17, "\"schemaVersion\":2");
    EXPECT_EQ(encodeTroupeEventLine(event), expected);
}

TEST(TroupeGoldenEvents, OptionalsReadNullAsAbsentAndAreLeftOutOnWrite) {
    const std::string flea = q(kFlea);
    struct Case {
        const char* kind;
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases{
        {"xp_earned", R"({"fleaId":null,"amount":0,"source":"practice"})",
         R"({"amount":0,"source":"practice"})"},
        {"device_session_start", R"({"deviceKind":"iPad","deviceName":null})", R"({"deviceKind":"iPad"})"},
        {"flea_recustomized", R"({"fleaId":)" + flea + R"(,"traits":null,"hatKind":null})",
         R"({"fleaId":)" + flea + "}"},
        {"flea_message_from_user",
         R"({"fleaId":)" + flea + R"(,"messageId":)" + q(kMessage) + R"(,"body":"","conversationId":null})",
         R"({"body":"","fleaId":)" + flea + R"(,"messageId":)" + q(kMessage) + "}"},
        {"letter_acknowledged", R"({"letterId":)" + q(kLetter) + "}", R"({"letterId":)" + q(kLetter) + "}"},
        {"legacy_state_snapshot",
         R"({"originPlatform":"p","originVersion":"v","fleas":[],"stats":null,"milestonesEarned":[],)"
         R"("surpriseEventsFired":[],"portableSettings":{}})",
         R"({"fleas":[],"milestonesEarned":[],"originPlatform":"p","originVersion":"v","portableSettings":{},)"
         R"("surpriseEventsFired":[]})"},
        {"setting_changed", R"({"key":"pinnedAct","value":null})", R"({"key":"pinnedAct","value":null})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(encodeTroupeEventLine(decodeTroupeEventLine(line(c.kind, c.in))), line(c.kind, c.out));
    }
}

TEST(TroupeGoldenEvents, LineSortsKeysByteWiseAtEveryLevel) {
    TroupeLegacyStateSnapshot legacy{"p", "v", {}, std::nullopt, {}, {}, {}};
    for (const char* key : {"\xC3\xA9t\xC3\xA9", "theme", "Theme", "_x", "autoSeasonal"}) {
        legacy.portableSettings[key] = TroupeSettingValue::ofBool(true);
    }
    const TroupeEvent event{id(kEvent),  TroupeEventKind::legacyStateSnapshot,
                            legacy,      date("2025-02-03T04:05:06Z"),
                            id(kDevice), 1};
    EXPECT_EQ(encodeTroupeEventLine(event),
              line("legacy_state_snapshot",
                   "{\"fleas\":[],\"milestonesEarned\":[],\"originPlatform\":\"p\",\"originVersion\":\"v\","
                   "\"portableSettings\":{\"Theme\":true,\"_x\":true,\"autoSeasonal\":true,\"theme\":true,"
                   "\"\xC3\xA9t\xC3\xA9\":true},\"surpriseEventsFired\":[]}"));
}

TEST(TroupeGoldenEvents, DatesTravelAsWholeSeconds) {
    TroupeEvent event{
        id(kEvent), TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"m"}, Date{100.75}, id(kDevice),
        1};
    const TroupeEvent back = decodeTroupeEventLine(encodeTroupeEventLine(event));
    EXPECT_EQ(back.ts, Date{100});
    EXPECT_NE(back, event);
}

TEST(TroupeGoldenEvents, SettingDoubleKeepsItsCaseThroughTheLine) {
    // The writer prints 2.0 with its fraction, so a whole double does not come back as an int.
    const TroupeEvent event{id(kEvent),
                            TroupeEventKind::settingChanged,
                            TroupeSettingChanged{"theme", TroupeSettingValue::ofDouble(2.0)},
                            Date{0},
                            id(kDevice),
                            1};
    EXPECT_EQ(decodeTroupeEventLine(encodeTroupeEventLine(event)), event);
}

}  // namespace
}  // namespace tw
