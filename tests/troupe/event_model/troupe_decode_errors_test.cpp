// Every way a field can be wrong ends the whole decode with one error kind at the
// key path that led to it.
#include <gtest/gtest.h>

#include "troupe/event_model/troupe_json.h"
#include "troupe_test_ids.h"

namespace tw {
namespace {

using namespace troupe_test;

struct Bad {
    std::string text;
    JsonErrorKind kind;
    std::string path;
};

void expectFailures(const std::vector<Bad>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            (void)decodeTroupeEventLine(c.text);
            ADD_FAILURE() << "decoded";
        } catch (const JsonDecodeError& e) {
            EXPECT_EQ(toString(e.kind()), std::string(toString(c.kind))) << e.what();
            EXPECT_EQ(e.path(), c.path) << e.what();
        }
    }
}

std::string envelope(const std::string& key, const std::string& value) {
    // A valid deletion event with one top-level member replaced (or removed when value is empty).
    OrderedJson json = parseJson(line("flea_deleted", std::string(R"({"fleaId":")") + kFlea + "\"}"));
    if (value.empty()) {
        json.erase(key);
    } else {
        json[key] = parseJson(value);
    }
    return dumpJson(json);
}

std::string payload(const std::string& value) { return envelope("payload", value); }

const JsonErrorKind kKey = JsonErrorKind::keyNotFound;
const JsonErrorKind kNull = JsonErrorKind::valueNotFound;
const JsonErrorKind kType = JsonErrorKind::typeMismatch;
const JsonErrorKind kCorrupt = JsonErrorKind::dataCorrupted;

TEST(TroupeDecodeErrors, Envelope) {
    expectFailures({
        {"{not json", kCorrupt, ""},
        {"[]", kType, ""},
        {"null", kNull, ""},
        {envelope("id", ""), kKey, "id"},
        {envelope("id", "null"), kNull, "id"},
        {envelope("id", "5"), kType, "id"},
        {envelope("id", R"("111111112222333344445555555555555")"), kCorrupt, "id"},
        {envelope("id", R"("{11111111-2222-3333-4444-555555555555}")"), kCorrupt, "id"},
        {envelope("kind", ""), kKey, "kind"},
        {envelope("kind", R"("Flea_deleted")"), kCorrupt, "kind"},
        {envelope("kind", R"("")"), kCorrupt, "kind"},
        {envelope("kind", "4"), kType, "kind"},
        {envelope("ts", ""), kKey, "ts"},
        {envelope("ts", R"("2025-02-03T04:05:06.500Z")"), kCorrupt, "ts"},
        {envelope("ts", R"("2025-02-30T04:05:06Z")"), kCorrupt, "ts"},
        {envelope("ts", R"("2025-02-03T04:05:06+01:00")"), kCorrupt, "ts"},
        {envelope("ts", "760000000"), kType, "ts"},
        {envelope("deviceId", ""), kKey, "deviceId"},
        {envelope("schemaVersion", ""), kKey, "schemaVersion"},
        {envelope("schemaVersion", "null"), kNull, "schemaVersion"},
        {envelope("schemaVersion", "2.9"), kType, "schemaVersion"},
        {envelope("schemaVersion", R"("3")"), kType, "schemaVersion"},
        {envelope("schemaVersion", "true"), kType, "schemaVersion"},
    });
}

TEST(TroupeDecodeErrors, PayloadUnion) {
    const std::string body = std::string(R"({"fleaId":")") + kFlea + "\"}";
    expectFailures({
        {envelope("payload", ""), kKey, "payload"},
        {payload("null"), kNull, "payload"},
        {payload("[]"), kType, "payload"},
        {payload(R"({"body":)" + body + "}"), kKey, "payload.kind"},
        {payload(R"({"Kind":"flea_deleted","body":)" + body + "}"), kKey, "payload.kind"},
        {payload(R"({"kind":null,"body":)" + body + "}"), kNull, "payload.kind"},
        {payload(R"({"kind":7,"body":)" + body + "}"), kType, "payload.kind"},
        {payload(R"({"kind":"Flea_deleted","body":)" + body + "}"), kCorrupt, "payload.kind"},
        {payload(R"({"kind":"flea-deleted","body":)" + body + "}"), kCorrupt, "payload.kind"},
        {payload(R"({"kind":" flea_deleted","body":)" + body + "}"), kCorrupt, "payload.kind"},
        // With both bad, the kind's error wins.
        {payload(R"({"kind":"nope","body":null})"), kCorrupt, "payload.kind"},
        {payload(R"({"kind":"flea_deleted"})"), kKey, "payload.body"},
        {payload(R"({"kind":"flea_deleted","body":null})"), kNull, "payload.body"},
        {payload(R"({"kind":"flea_deleted","body":"x"})"), kType, "payload.body"},
        {payload(R"({"kind":"flea_deleted","body":[]})"), kType, "payload.body"},
        // Only the named kind's record is tried.
        {payload(R"({"kind":"flea_renamed","body":)" + body + "}"), kKey, "payload.body.newName"},
    });
}

TEST(TroupeDecodeErrors, BodyFields) {
    const std::string flea = std::string("\"") + kFlea + "\"";
    const std::string created =
        R"({"fleaId":)" + flea +
        R"(,"name":"P","bodyColorIndex":1,"hatKind":"","discoveredAct":"a","createdAt":"2025-01-01T00:00:00Z")";
    const std::string legacyHead =
        R"({"originPlatform":"p","originVersion":"v","milestonesEarned":[],"surpriseEventsFired":[],"portableSettings":{},)";
    const std::string legacyFlea =
        R"({"fleaId":)" + flea +
        R"(,"name":"P","bodyColorIndex":1,"hatKind":"","discoveredAct":"a","createdAt":"2025-01-01T00:00:00Z","traits":[],"unlockedNodeIds":[]})";
    expectFailures({
        {line("flea_created", created + "}"), kKey, "payload.body.traits"},
        {line("flea_created", created + R"(,"traits":null})"), kNull, "payload.body.traits"},
        {line("flea_created", created + R"(,"traits":"a"})"), kType, "payload.body.traits"},
        {line("flea_created", created + R"(,"traits":["a",1]})"), kType, "payload.body.traits[1]"},
        {line("flea_renamed", R"({"fleaId":"nope","newName":"x"})"), kCorrupt, "payload.body.fleaId"},
        {line("node_unlocked", R"({"fleaId":)" + flea + R"(,"actKey":"a","nodeId":"n","xpCost":"3"})"), kType,
         "payload.body.xpCost"},
        {line("node_unlocked",
              R"({"fleaId":)" + flea + R"(,"actKey":"a","nodeId":"n","xpCost":9223372036854775808})"),
         kCorrupt, "payload.body.xpCost"},
        {line("xp_earned", R"({"amount":1,"source":"Click"})"), kCorrupt, "payload.body.source"},
        {line("xp_earned", R"({"fleaId":"x","amount":1,"source":"click"})"), kCorrupt, "payload.body.fleaId"},
        {line("xp_earned", R"({"amount":1.5,"source":"click"})"), kType, "payload.body.amount"},
        {line("cumulative_stat_tick", R"({"stat":"clicks","delta":"1"})"), kType, "payload.body.delta"},
        {line("cumulative_stat_tick", R"({"stat":"Clicks","delta":1})"), kCorrupt, "payload.body.stat"},
        {line("cumulative_stat_tick", R"({"stat":"clicks","delta":1e999})"), kCorrupt, ""},
        {line("milestone_acknowledged", R"({"milestoneId":"m"})"), kKey, "payload.body.ackDeviceId"},
        {line("setting_changed", R"({"key":"theme"})"), kKey, "payload.body.value"},
        {line("setting_changed", R"({"key":"theme","value":{}})"), kType, "payload.body.value"},
        {line("setting_changed", R"({"key":"theme","value":[1]})"), kType, "payload.body.value"},
        {line("device_session_start", R"({"deviceKind":"appleTV"})"), kCorrupt, "payload.body.deviceKind"},
        {line("device_session_start", R"({"deviceKind":"iPad","deviceName":3})"), kType,
         "payload.body.deviceName"},
        {line("legacy_state_snapshot", R"({"originVersion":"v","fleas":[]})"), kKey,
         "payload.body.originPlatform"},
        {line(
             "legacy_state_snapshot",
             legacyHead +
                 R"("fleas":[],"stats":{"clicks":3.5,"keystrokes":0,"sessions":0,"hoursSeconds":0,"mouseDistance":0,"combos":0}})"),
         kType, "payload.body.stats.clicks"},
        {line("legacy_state_snapshot", legacyHead + R"("fleas":[],"stats":{"clicks":3}})"), kKey,
         "payload.body.stats.keystrokes"},
        {line("legacy_state_snapshot", legacyHead + R"("fleas":[)" + legacyFlea + "]}"), kKey,
         "payload.body.fleas[0].xp"},
        {line("legacy_state_snapshot", legacyHead + R"("fleas":{}})"), kType, "payload.body.fleas"},
        {line(
             "legacy_state_snapshot",
             R"({"originPlatform":"p","originVersion":"v","fleas":[],"surpriseEventsFired":[],"portableSettings":{}})"),
         kKey, "payload.body.milestonesEarned"},
        {line("legacy_state_snapshot", legacyHead.substr(0, legacyHead.find("\"portableSettings\"")) +
                                           R"("portableSettings":{"theme":{}},"fleas":[]})"),
         kType, "payload.body.portableSettings.theme"},
        {line("flea_message_from_flea",
              R"({"fleaId":)" + flea + R"(,"messageId":)" + flea + R"(,"body":"b"})"),
         kKey, "payload.body.modelTier"},
        {line("flea_message_from_flea",
              R"({"fleaId":)" + flea + R"(,"messageId":)" + flea + R"(,"body":"b","modelTier":"llm"})"),
         kCorrupt, "payload.body.modelTier"},
        {line(
             "letter_written",
             R"({"fleaId":)" + flea + R"(,"letterId":)" + flea +
                 R"(,"body":"b","periodStart":"2025-01-01T00:00:00Z","periodEnd":"2025-01-01T00:00:00Z","anniversaryKind":"oneYear"})"),
         kCorrupt, "payload.body.anniversaryKind"},
        {line("anniversary_triggered", R"({"fleaId":)" + flea + R"(,"anniversaryKind":"5y"})"), kKey,
         "payload.body.originalEventTs"},
        {line("checkpoint", R"({"snapshotBlob":"{}","replacesEventsUpTo":"2025-01-01T00:00:00Z"})"), kType,
         "payload.body.snapshotBlob"},
        {line("checkpoint", R"({"snapshotBlob":{}})"), kKey, "payload.body.snapshotBlob.fleas"},
    });
}

// A setting value that fits no reading names the type it was read as, beside its
// description, in the error and in its full text; other mismatches name none.
TEST(TroupeDecodeErrors, SettingValueFailureNamesItsType) {
    const struct {
        std::string body;
        std::string expectedType;
        std::string detail;
        std::string path;
    } cases[] = {
        {R"({"key":"theme","value":[true]})", "TroupeSettingValue", "Unsupported setting value type",
         "payload.body.value"},
        {R"({"key":"theme","value":[1]})", "TroupeSettingValue", "Unsupported setting value type",
         "payload.body.value"},
        {R"({"key":"theme","value":{}})", "TroupeSettingValue", "Unsupported setting value type",
         "payload.body.value"},
        {R"({"key":7,"value":true})", "", "expected a string, found an integer", "payload.body.key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        try {
            (void)decodeTroupeEventLine(line("setting_changed", c.body));
            ADD_FAILURE() << "decoded";
        } catch (const JsonDecodeError& e) {
            EXPECT_EQ(e.kind(), JsonErrorKind::typeMismatch);
            EXPECT_EQ(e.expectedType(), c.expectedType);
            EXPECT_EQ(e.detail(), c.detail);
            EXPECT_EQ(e.path(), c.path);
            const std::string named = c.expectedType.empty() ? "" : " (expected " + c.expectedType + ")";
            EXPECT_EQ(std::string(e.what()), "typeMismatch" + named + " at \"" + c.path + "\": " + c.detail);
        }
    }
}

TEST(TroupeDecodeErrors, CheckpointSnapshotFollowsTheSnapshotRules) {
    auto checkpoint = [](const std::string& fleas) {
        return line(
            "checkpoint",
            R"({"replacesEventsUpTo":"2025-01-01T00:00:00Z","snapshotBlob":{"fleas":)" + fleas +
                R"(,"stats":{"clicks":0,"keystrokes":0,"sessions":0,"hoursSeconds":0,"mouseDistance":0,"combos":0},)"
                R"("milestonesEarned":[],"milestoneAcksByDevice":{},"surpriseEventsFired":{},"portableSettings":{},)"
                R"("devices":[],"eventCount":0,"conversationsByFlea":[],"lettersByFlea":[],"anniversariesSeen":[]}})");
    };
    EXPECT_NO_THROW((void)decodeTroupeEventLine(checkpoint("[]")));
    // A UUID-keyed dictionary is an alternating array, never an object, and never of odd length.
    EXPECT_THROW((void)decodeTroupeEventLine(checkpoint(R"({})")), JsonDecodeError);
    EXPECT_THROW((void)decodeTroupeEventLine(checkpoint(std::string("[\"") + kFlea + "\"]")),
                 JsonDecodeError);
}

}  // namespace
}  // namespace tw
