// The flat id set keeps every id it was given as it grows past its first size.
#include "troupe/snapshot/troupe_uuid_set.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

Uuid numbered(std::uint32_t n) {
    Uuid id;
    // Ids that differ in one byte only stress the probing as well as the growth.
    id.bytes[15] = static_cast<std::uint8_t>(n);
    id.bytes[14] = static_cast<std::uint8_t>(n >> 8);
    return id;
}

TEST(TroupeUuidSet, EveryIdIsNewOnceWhateverTheFirstSize) {
    for (const std::size_t expected : {std::size_t{0}, std::size_t{5}, std::size_t{5000}}) {
        SCOPED_TRACE(expected);
        TroupeUuidSet set(expected);
        for (std::uint32_t n = 0; n < 3000; ++n) ASSERT_TRUE(set.insert(numbered(n))) << n;
        for (std::uint32_t n = 0; n < 3000; ++n) ASSERT_FALSE(set.insert(numbered(n))) << n;
        EXPECT_EQ(set.size(), 3000u);
    }
}

}  // namespace
}  // namespace tw
