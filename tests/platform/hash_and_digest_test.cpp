#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/sha256.h"
#include "platform/string_hash.h"

namespace tw {
namespace {

TEST(Sha256Test, KnownVectors) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    const auto digest = sha256("abc");
    EXPECT_EQ(digest[0], 0xBA);
    EXPECT_EQ(digest[31], 0xAD);
    // Bytes, not C strings: an embedded NUL is hashed.
    EXPECT_NE(sha256Hex(std::string("a\0b", 3)), sha256Hex("a"));
}

TEST(StringHashTest, Djb2KnownValues) {
    EXPECT_EQ(djb2Hash(""), 5381u);
    EXPECT_EQ(djb2Hash("a"), 5381u * 33 + 'a');
    EXPECT_EQ(djb2Hash("ab"), (5381u * 33 + 'a') * 33 + 'b');
    // Bytes above 0x7F count as unsigned.
    EXPECT_EQ(djb2Hash("\xc3\xa9"), (5381u * 33 + 0xC3) * 33 + 0xA9);
}

TEST(StringHashTest, SaltedHashIsStableWithinARunAndSpreadsValues) {
    const auto hash = processStringHashFunction();
    EXPECT_EQ(hash("flea"), processSaltedStringHash("flea"));
    EXPECT_EQ(processSaltedStringHash("flea"), processSaltedStringHash(std::string("fle") + "a"));
    std::set<std::int64_t> values;
    std::set<std::int64_t> lowBits;
    for (int i = 0; i < 2000; ++i) {
        const auto value = processSaltedStringHash("name-" + std::to_string(i));
        values.insert(value);
        lowBits.insert(value & 0xFF);
    }
    EXPECT_EQ(values.size(), 2000u);
    EXPECT_GT(lowBits.size(), 200u);
    // Lengths that differ only by trailing NULs must differ.
    EXPECT_NE(processSaltedStringHash(std::string(7, '\0')), processSaltedStringHash(std::string(8, '\0')));
}

}  // namespace
}  // namespace tw
