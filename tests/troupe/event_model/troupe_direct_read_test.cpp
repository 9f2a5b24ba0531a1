// The log reader reads simdjson's tree directly: for every kind, and for a repeated
// key (the last value wins) anywhere it looks, it must give the general parser's event
// byte for byte, or its error word for word.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "troupe/event_model/troupe_json.h"
#include "troupe_test_ids.h"

namespace tw {
namespace {

using namespace troupe_test;

std::string q(const char* text) { return std::string("\"") + text + "\""; }

struct Body {
    const char* kind;
    std::string members;  // the body's members, without braces
    std::string decoy;    // a member naming a key of `members` again, with another value
};

std::vector<Body> bodies() {
    const std::string flea = "\"fleaId\":" + q(kFlea);
    return {
        {"flea_created",
         flea + R"(,"name":"Pip","bodyColorIndex":3,"hatKind":"top_hat","discoveredAct":"trapeze",)"
                R"("createdAt":"2024-12-25T10:00:00Z","traits":["brave","tiny"])",
         R"("traits":["shy"])"},
        {"flea_renamed", flea + R"(,"newName":"Zoë 🎪")", R"("newName":"Bob")"},
        {"flea_recustomized",
         flea + R"(,"hatKind":null,"bodyColorIndex":2,"traits":["shy"],"ambition":"fame","superstitions":[])",
         R"("ambition":"rest")"},
        {"flea_deleted", flea, "\"fleaId\":" + q(kMessage)},
        {"xp_earned", R"("amount":25,"source":"click")", R"("amount":7)"},
        {"xp_earned", flea + R"(,"amount":9223372036854775807,"source":"practice")", R"("source":"click")"},
        {"node_unlocked", flea + R"(,"actKey":"trapeze","nodeId":"trapeze.1","xpCost":-5)", R"("xpCost":1)"},
        {"act_assigned", flea + R"(,"actKey":"cannon")", R"("actKey":"trapeze")"},
        {"cumulative_stat_tick", R"("stat":"mouseDistance","delta":1e3)", R"("delta":2)"},
        {"cumulative_stat_tick", R"("stat":"clicks","delta":18446744073709551615)", R"("stat":"combos")"},
        {"milestone_earned", R"("milestoneId":"m1")", R"("milestoneId":"m2")"},
        {"milestone_acknowledged", R"("milestoneId":"m1","ackDeviceId":)" + q(kDevice),
         R"("milestoneId":"m2")"},
        {"surprise_event_fired", R"("eventKind":"confetti")", R"("eventKind":"rain")"},
        {"setting_changed", R"("key":"theme","value":"dark")", R"("value":"light")"},
        {"setting_changed", R"("key":"volume","value":18446744073709551615)", R"("value":-1)"},
        {"setting_changed", R"("key":"volume","value":-0.5)", R"("value":1)"},
        {"setting_changed", R"("key":"pins","value":["a","b"])", R"("key":"other")"},
        {"setting_changed", R"("key":"pins","value":null)", R"("value":true)"},
        {"device_session_start", R"("deviceKind":"LinuxDesktop","deviceName":"workbench")",
         R"("deviceName":"other")"},
        {"device_session_end", R"("durationSeconds":12)", R"("durationSeconds":1.5)"},
        {"flea_message_from_user",
         flea + R"(,"messageId":)" + q(kMessage) + R"(,"body":"hi","conversationId":)" + q(kConversation),
         R"("conversationId":null)"},
        {"flea_message_from_flea",
         flea + R"(,"messageId":)" + q(kMessage) + R"(,"body":"hello","inReplyTo":)" + q(kMessage2) +
             R"(,"modelTier":"foundation")",
         R"("inReplyTo":)" + q(kMessage)},
        {"letter_written",
         flea + R"(,"letterId":)" + q(kLetter) +
             R"(,"body":"Dear you","periodStart":"2025-01-01T00:00:00Z","periodEnd":"2025-01-31T00:00:00Z")",
         R"("anniversaryKind":"1y")"},
        {"letter_read", R"("letterId":)" + q(kLetter), R"("letterId":)" + q(kMessage)},
        {"letter_acknowledged", R"("letterId":)" + q(kLetter) + R"(,"replyMessageId":)" + q(kMessage),
         R"("replyMessageId":)" + q(kMessage2)},
        {"conversation_started", flea + R"(,"conversationId":)" + q(kConversation),
         R"("conversationId":)" + q(kMessage)},
        {"anniversary_triggered",
         flea + R"(,"anniversaryKind":"1y","originalEventTs":"2024-01-01T00:00:00Z")",
         R"("originalEventTs":"2023-01-01T00:00:00Z")"},
    };
}

// The encoded event, or the error it gives.
template <typename Decode>
std::string outcome(Decode decode, const std::string& text) {
    try {
        return encodeTroupeEventLine(decode(text));
    } catch (const JsonDecodeError& error) {
        return std::string("error: ") + error.what();
    }
}

TEST(TroupeDirectRead, ReadsEveryKindAndEveryRepeatedKeyAsTheGeneralParser) {
    for (const Body& body : bodies()) {
        const std::string plain = "{" + body.members + "}";
        const std::vector<std::string> lines = {
            line(body.kind, plain),
            line(body.kind, "{" + body.decoy + "," + body.members + "}"),
            line(body.kind, "{" + body.members + "," + body.decoy + "}"),
            // The envelope's and the payload's own keys, repeated.
            R"({"ts":"2020-01-01T00:00:00Z",)" + line(body.kind, plain).substr(1),
            line(body.kind, plain, "flea_deleted").insert(1, R"("kind":"xp_earned",)"),
            line(body.kind, plain).insert(line(body.kind, plain).find("\"payload\":{") + 11, R"("body":{},)"),
        };
        for (const std::string& text : lines) {
            SCOPED_TRACE(text);
            EXPECT_EQ(outcome(decodeTroupeEventLine, text), outcome(decodeTroupeEventLineReference, text));
        }
        EXPECT_EQ(outcome(decodeTroupeEventLine, lines[0]).rfind("error", 0), std::string::npos) << lines[0];
    }
}

}  // namespace
}  // namespace tw
