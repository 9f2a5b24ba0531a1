#include "platform/lru_byte_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

// Each step inserts (key, bytes) or looks a key up ("?key"); afterwards exactly the
// expected keys remain and their sizes add up to the cache's byte count.
struct Case {
    const char* name;
    std::size_t budget;
    std::vector<std::pair<std::string, std::size_t>> steps;
    std::vector<std::string> kept;
    std::size_t bytes;
};

TEST(LruByteCache, KeepsTheMostRecentlyUsedWithinItsBudget) {
    const std::vector<Case> cases = {
        {"all fit", 100, {{"a", 30}, {"b", 30}, {"c", 40}}, {"a", "b", "c"}, 100},
        {"oldest goes first", 100, {{"a", 30}, {"b", 30}, {"c", 50}}, {"b", "c"}, 80},
        {"a look-up refreshes", 100, {{"a", 30}, {"b", 30}, {"?a", 0}, {"c", 50}}, {"a", "c"}, 80},
        {"one large entry evicts several", 100, {{"a", 30}, {"b", 30}, {"c", 30}, {"d", 90}}, {"d"}, 90},
        {"too large is not kept", 100, {{"a", 30}, {"b", 101}}, {"a"}, 30},
        {"replacing resizes", 100, {{"a", 30}, {"b", 30}, {"a", 60}}, {"a", "b"}, 90},
        {"replacing with too large drops", 100, {{"a", 30}, {"a", 200}}, {}, 0},
    };
    for (const auto& c : cases) {
        LruByteCache<std::string, int> cache(c.budget);
        int value = 0;
        std::uint64_t now = 0;
        for (const auto& [key, bytes] : c.steps) {
            cache.setNow(++now);
            if (key.starts_with('?')) {
                EXPECT_NE(cache.find(key.substr(1)), nullptr) << c.name;
            } else {
                cache.insert(key, ++value, bytes);
            }
        }
        EXPECT_EQ(cache.size(), c.kept.size()) << c.name;
        for (const auto& key : c.kept) EXPECT_NE(cache.find(key), nullptr) << c.name << ": " << key;
        EXPECT_EQ(cache.bytes(), c.bytes) << c.name;
        EXPECT_LE(cache.bytes(), cache.budget()) << c.name;
    }
}

TEST(LruByteCache, FindsTheLatestValueAndForgetsOnErase) {
    LruByteCache<int, std::string> cache(10);
    cache.insert(1, "one", 3);
    cache.insert(1, "uno", 3);
    ASSERT_NE(cache.find(1), nullptr);
    EXPECT_EQ(*cache.find(1), "uno");
    EXPECT_EQ(cache.find(2), nullptr);
    cache.erase(1);
    EXPECT_EQ(cache.find(1), nullptr);
    EXPECT_EQ(cache.bytes(), 0u);
}

TEST(LruByteCache, ALookUpAtTheSameMomentKeepsTheOrder) {
    LruByteCache<int, int> cache(30);
    cache.insert(1, 1, 10);
    cache.insert(2, 2, 10);
    cache.find(1);  // the same moment as its insertion: 1 stays the oldest
    cache.insert(3, 3, 20);
    EXPECT_EQ(cache.find(1), nullptr);
    EXPECT_NE(cache.find(2), nullptr);
}

TEST(LruByteCache, ForgetsWhatWasNotUsedSinceAMoment) {
    LruByteCache<int, int> cache(100);
    cache.setNow(1);
    cache.insert(1, 1, 10);
    cache.insert(2, 2, 20);
    cache.setNow(5);
    cache.insert(3, 3, 30);
    ASSERT_NE(cache.find(1), nullptr);  // used again at 5
    EXPECT_EQ(cache.forgetUnusedSince(5), 20u);
    EXPECT_EQ(cache.find(2), nullptr);
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.bytes(), 40u);
    // A kept handle reaches its entry again, and that counts as a use too.
    const auto third = cache.findHandle(3);
    ASSERT_TRUE(third);
    cache.setNow(6);
    EXPECT_EQ(cache.use(*third), 3);
    EXPECT_EQ(cache.forgetUnusedSince(6), 10u);
    EXPECT_NE(cache.find(3), nullptr);
}

}  // namespace
}  // namespace tw
