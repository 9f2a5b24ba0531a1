#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/json.h"

namespace tw {
namespace {

std::string keyName(int i) { return "k" + std::to_string(i); }

// An object of `count` keys in shuffled order where every third key comes back later
// with a new value.
std::string objectWithRepeats(int count, unsigned seed) {
    std::vector<int> order(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) order[static_cast<std::size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    std::string text = "{";
    for (int i : order) text += "\"" + keyName(i) + "\":" + std::to_string(i) + ",";
    for (int i = 0; i < count; i += 3)
        text += "\"" + keyName(i) + "\":{\"again\":" + std::to_string(i) + "},";
    text.back() = '}';
    return text;
}

// Whatever the general parser made of a text before (an insertion-ordered object:
// the last value wins, the key keeps its first position) is what the document holds.
TEST(JsonDocumentTest, HoldsWhatAnInsertionOrderedParseHolds) {
    const std::vector<std::string> texts = {
        R"({"b":1,"a":2,"b":3})",
        R"({"x":{"y":1,"y":[1,{"z":null,"z":true}]},"x":{"y":2,"w":-0},"v":-1.5e300})",
        R"([{"a":1},{"a":1,"a":2},[],{},"s",18446744073709551615,-9223372036854775808,1e-400])",
        objectWithRepeats(10, 1),
        objectWithRepeats(13, 2),
        objectWithRepeats(2000, 3),
        "[" + objectWithRepeats(40, 4) + "," + objectWithRepeats(5, 5) + "]",
    };
    for (const auto& text : texts) {
        const OrderedJson before = OrderedJson::parse(text);
        const JsonDocument document = JsonDocument::parse(text);
        EXPECT_EQ(document.toOrderedJson().dump(), before.dump()) << text.substr(0, 80);
        EXPECT_EQ(parseJson(text).dump(), before.dump());
    }
}

TEST(JsonDocumentTest, EveryKeyOfALargeObjectIsFoundWithItsLastValueAndPath) {
    constexpr int kCount = 5000;
    const JsonDocument document = JsonDocument::parse("{\"top\":" + objectWithRepeats(kCount, 7) + "}");
    const JsonReader top = JsonReader(document)["top"];
    ASSERT_EQ(top.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        const JsonReader value = top[keyName(i)];
        EXPECT_EQ(value.path(), "top." + keyName(i));
        if (i % 3 == 0) {
            EXPECT_EQ(value["again"].int64(), i);
        } else {
            EXPECT_EQ(value.int64(), i);
        }
    }
    EXPECT_FALSE(top.has("k-1"));
    EXPECT_FALSE(top.has(keyName(kCount)));
    try {
        top[keyName(kCount)];
        ADD_FAILURE() << "expected keyNotFound";
    } catch (const JsonDecodeError& error) {
        EXPECT_EQ(error.kind(), JsonErrorKind::keyNotFound);
        EXPECT_EQ(error.path(), "top." + keyName(kCount));
    }
}

// Hostile keys that all start their search in one slot of the hash table: the
// document still keeps first positions and last values and finds every key.
TEST(JsonDocumentTest, KeysMadeToCollideAreResolvedAndFoundLikeAnyOthers) {
    std::vector<std::string> keys;
    for (int i = 0; keys.size() < 60; ++i) {
        if ((jsonKeyHash(keyName(i)) & 0xFFF) == 0) keys.push_back(keyName(i));
    }
    std::string text = "{";
    for (std::size_t i = 0; i < keys.size(); ++i) text += "\"" + keys[i] + "\":" + std::to_string(i) + ",";
    for (std::size_t i = 0; i < keys.size(); i += 3) text += "\"" + keys[i] + "\":-1,";
    text.back() = '}';
    const JsonDocument document = JsonDocument::parse(text);
    EXPECT_EQ(document.toOrderedJson().dump(), OrderedJson::parse(text).dump());
    const JsonReader reader(document);
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(reader[keys[i]].int64(), i % 3 == 0 ? -1 : static_cast<std::int64_t>(i)) << keys[i];
    EXPECT_FALSE(reader.has("k-1"));
}

TEST(JsonDocumentTest, TextOverTheSizeLimitIsRefusedAsCorruptData) {
    const std::string text = R"({"name":"Pip"})";
    EXPECT_NO_THROW(JsonDocument::parse(text, text.size()));
    EXPECT_NO_THROW(parseJson(text, text.size()));
    for (auto parse : {+[](std::string_view t, std::size_t limit) { (void)JsonDocument::parse(t, limit); },
                       +[](std::string_view t, std::size_t limit) { (void)parseJson(t, limit); }}) {
        try {
            parse(text, text.size() - 1);
            ADD_FAILURE() << "expected a refusal";
        } catch (const JsonDecodeError& error) {
            EXPECT_EQ(error.kind(), JsonErrorKind::dataCorrupted);
            EXPECT_EQ(error.path(), "");
            EXPECT_NE(error.detail().find("over the limit of 13 bytes"), std::string::npos) << error.detail();
        }
    }
}

// Readers over an in-memory value share a copy of it, so a reader taken from a
// temporary one stays valid; a base path prefixes every path.
TEST(JsonDocumentTest, ReadersOfInMemoryValuesOwnTheirCopyAndKeepTheirBasePath) {
    const JsonReader names = JsonReader(OrderedJson::parse(R"({"names":["a",7]})"), "defaults")["names"];
    EXPECT_EQ(names.at(0).string(), "a");
    EXPECT_EQ(names.at(1).path(), "defaults.names[1]");
    EXPECT_EQ(names.raw(), OrderedJson::parse(R"(["a",7])"));
    const JsonDocument document = JsonDocument::parse(R"([{"x":1}])");
    EXPECT_EQ(JsonReader(document, "root").at(0)["x"].path(), "root[0].x");
    EXPECT_EQ(JsonReader(document).at(0)["x"].path(), "[0].x");
    const JsonDocument empty;
    EXPECT_TRUE(JsonReader(empty).isNull());
}

}  // namespace
}  // namespace tw
