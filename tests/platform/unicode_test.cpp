#include "platform/unicode.h"

#include <gtest/gtest.h>

namespace tw::unicode {
namespace {

const std::string kFamily =
    "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";  // 👨‍👩‍👧‍👦
const std::string kThumbsUpMedium = "\U0001F44D\U0001F3FD";        // 👍🏽
const std::string kFrance = "\U0001F1EB\U0001F1F7";                // 🇫🇷
const std::string kReplacement = "\xEF\xBF\xBD";                   // U+FFFD

TEST(GraphemeTest, EmojiSequencesAreSingleClusters) {
    for (const std::string& emoji : {kFamily, kThumbsUpMedium, kFrance, std::string("e\u0301")}) {
        EXPECT_EQ(graphemeCount(emoji), 1u) << emoji;
        EXPECT_EQ(graphemePrefix(emoji + "x", 1), emoji) << emoji;
    }
    const std::string mixed = "a" + kFamily + kThumbsUpMedium + kFrance + kFrance + "z";
    EXPECT_EQ(graphemeCount(mixed), 6u);
    EXPECT_EQ(graphemePrefix(mixed, 2), "a" + kFamily);
    EXPECT_EQ(graphemePrefix(mixed, 3), "a" + kFamily + kThumbsUpMedium);
    EXPECT_EQ(graphemePrefix(mixed, 4), "a" + kFamily + kThumbsUpMedium + kFrance);
    EXPECT_EQ(graphemePrefix(mixed, 100), mixed);
    EXPECT_EQ(graphemePrefix(mixed, 0), "");
}

TEST(GraphemeTest, AsciiAndLineEnds) {
    EXPECT_EQ(graphemeCount(""), 0u);
    EXPECT_EQ(graphemeCount("hello"), 5u);
    EXPECT_EQ(graphemePrefix("hello", 3), "hel");
    EXPECT_EQ(graphemeCount("a\r\nb"), 3u);  // CR LF is one cluster
    EXPECT_EQ(graphemePrefix("a\r\nb", 2), "a\r\n");
}

TEST(GraphemeTest, RepairsBeforeCounting) {
    EXPECT_EQ(graphemeCount("a\xff"
                            "b"),
              3u);
    EXPECT_EQ(graphemePrefix("a\xff"
                             "b",
                             2),
              "a" + kReplacement);
}

TEST(RepairTest, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(repairUtf8("plain"), "plain");
    EXPECT_EQ(repairUtf8(kFamily), kFamily);
    EXPECT_EQ(repairUtf8("a\xff"
                         "b"),
              "a" + kReplacement + "b");
    EXPECT_EQ(repairUtf8("\xc3"), kReplacement);                                        // truncated
    EXPECT_EQ(repairUtf8("\xed\xa0\x80"), kReplacement + kReplacement + kReplacement);  // surrogate
    EXPECT_EQ(repairUtf8("\xc0\xaf"), kReplacement + kReplacement);                     // overlong
    EXPECT_EQ(repairUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(NormalizationTest, ComposedAndDecomposedFormsAreCanonicallyEqual) {
    const std::string composed = "\u00E9";     // é
    const std::string decomposed = "e\u0301";  // e + combining acute
    EXPECT_NE(composed, decomposed);
    EXPECT_EQ(nfc(decomposed), composed);
    EXPECT_EQ(nfd(composed), decomposed);
    EXPECT_EQ(nfc(composed), composed);
    EXPECT_TRUE(canonicallyEqual("caf" + composed, "caf" + decomposed));
    EXPECT_FALSE(canonicallyEqual("cafe", "caf" + composed));
    EXPECT_EQ(nfc("x\xff"), "x" + kReplacement);
}

TEST(CaseMappingTest, IsTheSameInEveryLocale) {
    EXPECT_EQ(lowercased("I"), "i");             // never dotless ı
    EXPECT_EQ(lowercased("\u0130"), "i\u0307");  // İ keeps its dot as a combining mark
    EXPECT_EQ(uppercased("i"), "I");             // never İ
    EXPECT_EQ(uppercased("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(lowercased("Flea \u00C9CLAIR"), "flea \u00E9clair");
    EXPECT_EQ(lowercased("MiXeD 123"), "mixed 123");
    EXPECT_EQ(lowercased("@AZ[`az{"), "@az[`az{");  // only letters move, up to the ends of the range
    EXPECT_EQ(uppercased("@AZ[`az{"), "@AZ[`AZ{");
    EXPECT_EQ(uppercased("a\xff"), "A" + kReplacement);
}

TEST(TrimTest, RemovesUnicodeWhitespaceAndNewlinesAtBothEnds) {
    EXPECT_EQ(trimmed("  hello world \n"), "hello world");
    EXPECT_EQ(trimmed("\t\r\n\u00A0\u2003\u3000hi\u2028\u0085"), "hi");
    EXPECT_EQ(trimmed(" \n\t "), "");
    EXPECT_EQ(trimmed(""), "");
    EXPECT_EQ(trimmed("\u200Bx"), "\u200Bx");  // zero-width space is not whitespace
    EXPECT_EQ(trimmed(" \xff "), kReplacement);
}

}  // namespace
}  // namespace tw::unicode
