// How settings values are written to a file and read back, also as other types, and
// where a suite's file goes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/defaults.h"
#include "platform/testing/in_memory_defaults.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

TEST(DefaultsFileFormatTest, DataOfEveryLengthRoundTripsAndBadFilesAreRefused) {
    for (std::size_t length = 0; length < 8; ++length) {
        DefaultsData data;
        for (std::size_t i = 0; i < length; ++i) data.bytes.push_back(static_cast<std::uint8_t>(250 + i));
        const auto decoded = decodeDefaultsFile(encodeDefaultsFile({{"d", data}}));
        EXPECT_EQ(decoded.at("d"), DefaultsValue{data}) << length;
    }
    EXPECT_THROW(decodeDefaultsFile("[1,2]"), std::runtime_error);
    EXPECT_THROW(decodeDefaultsFile(""), std::runtime_error);
    // A malformed entry is skipped, not the whole file.
    const auto partial =
        decodeDefaultsFile(R"({"d":{"type":"data","value":"AB=C"},"i":{"type":"int","value":2.5},)"
                           R"("b":{"type":"bool","value":1},"ok":{"type":"double","value":3}})");
    EXPECT_EQ(partial.size(), 1u);
    EXPECT_EQ(partial.at("ok"), DefaultsValue{3.0});
}

TEST(DefaultsReadRulesTest, BooleansFromStringsAndNumbers) {
    testing::InMemoryDefaults defaults;
    const std::vector<std::pair<DefaultsValue, bool>> cases = {
        {std::string("YES"), true},
        {std::string("yes"), true},
        {std::string(" TRUE "), true},
        {std::string("1"), true},
        {std::string("-2"), true},
        {std::string("0"), false},
        {std::string("no"), false},
        {std::string(""), false},
        {std::string("1x"), false},
        {std::int64_t{1}, true},
        {std::int64_t{0}, false},
        {0.0, false},
        {0.25, true},
        {Date{5}, false},
        {DefaultsData{{'1'}}, false},
    };
    for (const auto& [value, expected] : cases) {
        defaults.set("k", value);
        EXPECT_EQ(defaults.boolForKey("k"), expected) << defaults.stringForKey("k").value_or("?");
    }
    EXPECT_FALSE(defaults.boolForKey("missing"));
}

TEST(DefaultsReadRulesTest, NumbersAndStrings) {
    testing::InMemoryDefaults defaults;
    EXPECT_EQ(defaults.doubleForKey("missing"), 0.0);
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    defaults.setDouble("d", -3.9);
    EXPECT_EQ(defaults.integerForKey("d"), -3);
    defaults.setDouble("d", 1e300);
    EXPECT_EQ(defaults.integerForKey("d"), std::numeric_limits<std::int64_t>::max());
    defaults.setString("s", " 42 ");
    EXPECT_EQ(defaults.integerForKey("s"), 42);
    EXPECT_EQ(defaults.doubleForKey("s"), 42.0);
    defaults.setString("s", "2.75");
    EXPECT_EQ(defaults.integerForKey("s"), 2);
    defaults.setString("s", "many");
    EXPECT_EQ(defaults.doubleForKey("s"), 0.0);
    defaults.setInteger("i", 12);
    EXPECT_EQ(defaults.stringForKey("i"), "12");
    defaults.setDouble("d", 0.5);
    EXPECT_EQ(defaults.stringForKey("d"), "0.5");
    defaults.setDate("t", Date{1});
    EXPECT_EQ(defaults.stringForKey("t"), std::nullopt);
    EXPECT_EQ(defaults.dateForKey("t"), Date{1});
    EXPECT_EQ(defaults.dateForKey("i"), std::nullopt);
    EXPECT_EQ(defaults.dataForKey("i"), std::nullopt);
}

TEST(DefaultsSuiteFileTest, SuiteNamesCannotLeaveTheConfigFolder) {
    const fs::path file = JsonFileDefaults::suiteFile("../../etc/passwd");
    EXPECT_EQ(file.parent_path().filename(), "tumblewick");
    EXPECT_EQ(JsonFileDefaults::suiteFile("standard").filename(), "standard.json");
}

}  // namespace
}  // namespace tw
