// The fast line reader against the general parser on the lines where they could
// part: repeated keys, numbers at the edges, text either refuses, size and depth.
#include <gtest/gtest.h>

#include <optional>

#include "troupe/event_model/troupe_json.h"

namespace tw {
namespace {

const std::string kXpLine =
    R"({"deviceId":"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE","id":"11111111-2222-3333-4444-555555555555",)"
    R"("kind":"xp_earned","payload":{"body":{"amount":25,"source":"practice"},"kind":"xp_earned"},)"
    R"("schemaVersion":1,"ts":"2025-02-03T04:05:06Z"})";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string withExtraKeys(int count) {
    std::string extra;
    for (int i = 0; i < count; ++i) extra += "\"extra" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    return "{" + extra + kXpLine.substr(1);
}

struct LineCase {
    std::string name;
    std::string line;
    std::optional<std::int64_t> amount;  // expected XP amount when the line decodes
    JsonErrorKind kind;                  // otherwise the error
    std::string path;
};

LineCase decodes(std::string name, std::string line, std::int64_t amount) {
    return {std::move(name), std::move(line), amount, JsonErrorKind::dataCorrupted, ""};
}
LineCase fails(std::string name, std::string line, JsonErrorKind kind = JsonErrorKind::dataCorrupted,
               std::string path = "") {
    return {std::move(name), std::move(line), std::nullopt, kind, std::move(path)};
}

TEST(TroupeEventLineTest, FastReaderAgreesWithTheGeneralParser) {
    const std::string nested = std::string(100, '[') + std::string(100, ']');
    const std::string tooDeep = std::string(600, '[') + std::string(600, ']');
    const std::vector<LineCase> cases = {
        decodes("plain", kXpLine, 25),
        decodes("repeated key: last value wins",
                replaced(kXpLine, "\"amount\":25", "\"amount\":25,\"amount\":7"), 7),
        decodes("repeated kind: last one read",
                replaced(kXpLine, "\"kind\":\"xp_earned\",\"payload\"",
                         "\"kind\":\"nonsense\",\"kind\":\"xp_earned\",\"payload\""),
                25),
        decodes("byte order mark", "\xEF\xBB\xBF" + kXpLine, 25),
        decodes("negative zero integer", replaced(kXpLine, "\"amount\":25", "\"amount\":-0"), 0),
        decodes("trailing CR and spaces", kXpLine + " \r", 25),
        decodes("100k unknown keys", withExtraKeys(100000), 25),
        decodes("deep unknown member", replaced(kXpLine, "{\"body\"", "{\"deep\":" + nested + ",\"body\""),
                25),
        fails("integer past uint64", replaced(kXpLine, "\"amount\":25", "\"amount\":18446744073709551616"),
              JsonErrorKind::typeMismatch, "payload.body.amount"),
        fails("integer past int64", replaced(kXpLine, "\"amount\":25", "\"amount\":9223372036854775808"),
              JsonErrorKind::dataCorrupted, "payload.body.amount"),
        fails("repeated key: last value is wrong",
              replaced(kXpLine, "\"amount\":25", "\"amount\":25,\"amount\":null"),
              JsonErrorKind::valueNotFound, "payload.body.amount"),
        fails("control character in a string", replaced(kXpLine, "practice", "prac\ttice")),
        fails("lone surrogate escape", replaced(kXpLine, "practice", "\\ud800")),
        fails("truncated", kXpLine.substr(0, 80)),
        fails("nesting too deep", replaced(kXpLine, "{\"body\"", "{\"deep\":" + tooDeep + ",\"body\"")),
        fails("over the line limit", kXpLine + std::string(kTroupeEventLineLimit, ' ')),
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<TroupeEvent> fast;
        std::string fastError;
        try {
            fast = decodeTroupeEventLine(c.line);
        } catch (const JsonDecodeError& error) {
            fastError = error.what();
            EXPECT_FALSE(c.amount) << error.what();
            EXPECT_EQ(error.kind(), c.kind) << error.what();
            EXPECT_EQ(error.path(), c.path);
        }
        try {
            EXPECT_EQ(decodeTroupeEventLineReference(c.line), fast);
        } catch (const JsonDecodeError& error) {
            EXPECT_EQ(error.what(), fastError);
        }
        if (c.amount && fast) {
            EXPECT_EQ(std::get<TroupeXPEarned>(fast->payload.value).amount, *c.amount);
        }
    }
}

}  // namespace
}  // namespace tw
