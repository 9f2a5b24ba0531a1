#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/json.h"

namespace tw {
namespace {

// Runs `read` and returns the error it threw (fails the test if none).
template <typename Read>
JsonDecodeError decodeError(Read read) {
    try {
        read();
    } catch (const JsonDecodeError& error) {
        return error;
    }
    ADD_FAILURE() << "expected a JsonDecodeError";
    return JsonDecodeError(JsonErrorKind::dataCorrupted, "<none>", "");
}

void expectError(JsonErrorKind kind, const std::string& path, const JsonDecodeError& error) {
    EXPECT_EQ(error.kind(), kind) << error.what();
    EXPECT_EQ(error.path(), path) << error.what();
}

TEST(JsonParseTest, SyntaxErrorsAndInvalidUtf8AreDataCorruptedAtTheRoot) {
    for (std::string text :
         {std::string("{"), std::string("[1,]"), std::string(""), std::string("{'a':1}"),
          std::string("[\"\xff\"]"), std::string("[\"\xc3\"]"), std::string("1 2"), std::string("NaN")}) {
        expectError(JsonErrorKind::dataCorrupted, "", decodeError([&] { parseJson(text); }));
    }
}

TEST(JsonParseTest, HostileNestingIsRefusedWithoutRecursion) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    expectError(JsonErrorKind::dataCorrupted, "", decodeError([&] { parseJson(deep); }));
    // Brackets inside strings do not count, ordinary nesting still parses.
    const std::string inString = "[\"" + std::string(10000, '[') + "\"]";
    EXPECT_EQ(parseJson(inString)[0].get<std::string>().size(), 10000u);
    EXPECT_TRUE(parseJson(std::string(100, '[') + std::string(100, ']')).is_array());
}

TEST(JsonParseTest, KeepsDocumentOrderOfMembers) {
    const auto value = parseJson(R"({"zeta":1,"alpha":2,"mid":3})");
    std::vector<std::string> keys;
    for (const auto& [key, member] : JsonReader(value).members()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"zeta", "alpha", "mid"}));
}

TEST(JsonReaderTest, IntegersMustBeIntegerTokensInsideTheirRange) {
    const auto value = parseJson(R"({
        "two": 2, "twoPointZero": 2.0, "twoPointNine": 2.9, "text": "3", "flag": true,
        "big": 9223372036854775808, "max": 9223372036854775807, "min": -9223372036854775808,
        "umax": 18446744073709551615, "negative": -1, "int32Over": 2147483648, "int32Under": -2147483649
    })");
    const JsonReader reader(value);
    EXPECT_EQ(reader["two"].int64(), 2);
    EXPECT_EQ(reader["max"].int64(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(reader["min"].int64(), std::numeric_limits<std::int64_t>::min());
    expectError(JsonErrorKind::typeMismatch, "twoPointZero",
                decodeError([&] { reader["twoPointZero"].int64(); }));
    expectError(JsonErrorKind::typeMismatch, "twoPointNine",
                decodeError([&] { reader["twoPointNine"].int64(); }));
    expectError(JsonErrorKind::typeMismatch, "text", decodeError([&] { reader["text"].int64(); }));
    expectError(JsonErrorKind::typeMismatch, "flag", decodeError([&] { reader["flag"].int64(); }));
    // 2^63 is past int64 but a fine double and uint64.
    EXPECT_THROW(reader["big"].int64(), JsonDecodeError);
    EXPECT_EQ(reader["big"].number(), 9223372036854775808.0);
    EXPECT_EQ(reader["big"].uint64(), 9223372036854775808ULL);
    EXPECT_EQ(reader["umax"].uint64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_THROW(reader["negative"].uint64(), JsonDecodeError);
    EXPECT_THROW(reader["twoPointZero"].uint64(), JsonDecodeError);

    EXPECT_EQ(reader["min"].number(), -9223372036854775808.0);
    EXPECT_EQ(reader["two"].int32(), 2);
    EXPECT_THROW(reader["int32Over"].int32(), JsonDecodeError);
    EXPECT_THROW(reader["int32Under"].int32(), JsonDecodeError);
    EXPECT_THROW(reader["big"].int32(), JsonDecodeError);
}

TEST(JsonReaderTest, NumbersBooleansAndStringsDoNotStandInForEachOther) {
    const auto value = parseJson(R"({"yes": true, "one": 1, "half": 0.5, "word": "true", "nothing": null})");
    const JsonReader reader(value);
    EXPECT_EQ(reader["one"].number(), 1.0);
    EXPECT_EQ(reader["half"].number(), 0.5);
    EXPECT_TRUE(reader["yes"].boolean());
    expectError(JsonErrorKind::typeMismatch, "yes", decodeError([&] { reader["yes"].number(); }));
    expectError(JsonErrorKind::typeMismatch, "one", decodeError([&] { reader["one"].boolean(); }));
    expectError(JsonErrorKind::typeMismatch, "word", decodeError([&] { reader["word"].boolean(); }));
    expectError(JsonErrorKind::typeMismatch, "one", decodeError([&] { reader["one"].string(); }));
    expectError(JsonErrorKind::valueNotFound, "nothing", decodeError([&] { reader["nothing"].string(); }));
    expectError(JsonErrorKind::valueNotFound, "nothing", decodeError([&] { reader["nothing"].number(); }));
}

TEST(JsonReaderTest, ErrorsCarryTheKeyPath) {
    const auto value = parseJson(R"({"events": [{}, {}, {}, {"payload": {"name": 7, "tags": null}}]})");
    const JsonReader reader(value);
    const auto payload = [&] { return reader["events"].at(3)["payload"]; };
    EXPECT_EQ(payload().path(), "events[3].payload");
    expectError(JsonErrorKind::typeMismatch, "events[3].payload.name",
                decodeError([&] { payload()["name"].string(); }));
    expectError(JsonErrorKind::keyNotFound, "events[3].payload.missing",
                decodeError([&] { payload()["missing"]; }));
    expectError(JsonErrorKind::valueNotFound, "events[3].payload.tags",
                decodeError([&] { payload()["tags"].elements(); }));
    // Member access on a non-object fails where the non-object is.
    expectError(JsonErrorKind::typeMismatch, "events", decodeError([&] { reader["events"]["x"]; }));
    expectError(JsonErrorKind::typeMismatch, "events[3].payload.name",
                decodeError([&] { payload()["name"]["deeper"]; }));
    expectError(JsonErrorKind::valueNotFound, "events[4]", decodeError([&] { reader["events"].at(4); }));
    expectError(JsonErrorKind::typeMismatch, "", decodeError([&] { reader.elements(); }));
    expectError(JsonErrorKind::keyNotFound, "top", decodeError([&] { reader["top"]; }));

    const auto error = decodeError([&] { payload()["name"].string(); });
    EXPECT_NE(std::string(error.what()).find("events[3].payload.name"), std::string::npos);
}

TEST(JsonReaderTest, OptionalMembersTreatNullAsAbsentButStillCheckTypes) {
    const auto value = parseJson(R"({"a": null, "n": 3, "s": "x", "b": false, "bad": "3"})");
    const JsonReader reader(value);
    EXPECT_TRUE(reader.has("a"));
    EXPECT_FALSE(reader.has("zz"));
    EXPECT_FALSE(reader.optional("a").has_value());
    EXPECT_FALSE(reader.optionalInt64("zz").has_value());
    EXPECT_EQ(reader.optionalInt64("n"), 3);
    EXPECT_EQ(reader.optionalNumber("n"), 3.0);
    EXPECT_EQ(reader.optionalString("s"), "x");
    EXPECT_EQ(reader.optionalBoolean("b"), false);
    expectError(JsonErrorKind::typeMismatch, "bad", decodeError([&] { reader.optionalInt64("bad"); }));
    expectError(JsonErrorKind::typeMismatch, "n", decodeError([&] { reader["n"].optional("x"); }));
}

TEST(JsonReaderTest, UuidsAndDatesAreCheckedStrings) {
    const auto value = parseJson(R"({
        "id": "0f8fad5b-d9cb-469f-a165-70867728950e", "braced": "{0F8FAD5B-D9CB-469F-A165-70867728950E}",
        "at": "2025-02-03T04:05:06Z", "bogusDay": "2025-02-30T00:00:00Z", "ref": 12.5, "refText": "12.5"
    })");
    const JsonReader reader(value);
    EXPECT_EQ(reader["id"].uuid().uuidString(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(reader.optionalUuid("id"), Uuid::parse("0F8FAD5B-D9CB-469F-A165-70867728950E"));
    expectError(JsonErrorKind::dataCorrupted, "braced", decodeError([&] { reader["braced"].uuid(); }));
    expectError(JsonErrorKind::typeMismatch, "ref", decodeError([&] { reader["ref"].uuid(); }));
    EXPECT_EQ(reader["at"].iso8601Date(), parseIso8601("2025-02-03T04:05:06Z"));
    expectError(JsonErrorKind::dataCorrupted, "bogusDay",
                decodeError([&] { reader["bogusDay"].iso8601Date(); }));
    EXPECT_EQ(reader["ref"].referenceDate(), Date{12.5});
    expectError(JsonErrorKind::typeMismatch, "refText",
                decodeError([&] { reader["refText"].referenceDate(); }));

    const OrderedJson notFinite = std::numeric_limits<double>::infinity();
    EXPECT_THROW(JsonReader(notFinite).referenceDate(), JsonDecodeError);
}

TEST(JsonEncodeTest, RefusesNonFiniteNumbersAndNeverThrowsOnBadUtf8) {
    EXPECT_EQ(finiteJson(1.5).get<double>(), 1.5);
    EXPECT_THROW(finiteJson(std::nan("")), JsonEncodeError);
    EXPECT_THROW(finiteJson(-std::numeric_limits<double>::infinity(), "energy"), JsonEncodeError);

    OrderedJson value = OrderedJson::object();
    value["name"] = "Flé 🎪";
    value["broken"] = std::string("a\xff") + "b";
    const std::string text = dumpJson(value);
    EXPECT_EQ(text,
              "{\"name\":\"Flé 🎪\",\"broken\":\"a\xEF\xBF\xBD"
              "b\"}");
    EXPECT_EQ(parseJson(text)["name"], "Flé 🎪");
    EXPECT_EQ(dumpJson(OrderedJson::array({1, 2}), 2), "[\n  1,\n  2\n]");
}

}  // namespace
}  // namespace tw
