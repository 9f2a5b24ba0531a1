#include "platform/uuid.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace tw {
namespace {

TEST(UuidTest, ParsesEitherCaseAndWritesUpperCase) {
    const auto lower = Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e");
    const auto upper = Uuid::parse("0F8FAD5B-D9CB-469F-A165-70867728950E");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(lower->uuidString(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
    EXPECT_EQ(lower->bytes[0], 0x0F);
    EXPECT_EQ(lower->bytes[15], 0x0E);
    EXPECT_EQ(Uuid::parse(lower->uuidString()), lower);
}

TEST(UuidTest, RejectsEveryOtherForm) {
    for (const char* text : {
             "0F8FAD5BD9CB469FA16570867728950E",        // 32 digits, no hyphens
             "{0F8FAD5B-D9CB-469F-A165-70867728950E}",  // braced
             "0F8FAD5B-D9CB-469F-A165-70867728950",     // short
             "0F8FAD5B-D9CB-469F-A165-70867728950EE",   // long
             "0F8FAD5BD-9CB-469F-A165-70867728950E",    // hyphen misplaced
             "0F8FAD5B-D9CB-469F-A165-70867728950G",    // not hex
             "",
         }) {
        EXPECT_FALSE(Uuid::parse(text).has_value()) << text;
    }
}

TEST(UuidTest, RandomIdsAreVersionFourAndDistinct) {
    std::unordered_set<Uuid> seen;
    for (int i = 0; i < 1000; ++i) {
        const Uuid id = Uuid::random();
        EXPECT_EQ(id.bytes[6] >> 4, 4);
        EXPECT_EQ(id.bytes[8] & 0xC0, 0x80);
        EXPECT_TRUE(seen.insert(id).second);
    }
    EXPECT_EQ(std::hash<Uuid>{}(*seen.begin()), std::hash<Uuid>{}(*seen.begin()));
}

}  // namespace
}  // namespace tw
