// Where the strip goes when one of our windows may have covered it: right above the
// highest of ours, whatever other applications' windows do.
#include "platform/x11/restack_above.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {
namespace {

TEST(RestackAboveTest, GoesRightAboveTheHighestOfOursThatCoversIt) {
    constexpr unsigned long strip = 1, panel = 2, colony = 3, other = 9;
    const std::vector<unsigned long> ours{panel, colony};
    const struct {
        const char* what;
        std::vector<unsigned long> stacking;  // bottom first
        std::optional<unsigned long> sibling;
    } cases[] = {
        {"above them all already", {panel, colony, strip}, std::nullopt},
        {"a panel shown over it", {colony, strip, panel}, panel},
        {"two of ours over it: the higher", {strip, colony, panel}, panel},
        {"another app's window over it is none of ours", {panel, strip, other}, std::nullopt},
        {"ours under another app's window", {strip, colony, other}, colony},
        {"not stacked yet", {panel, colony}, colony},
    };
    for (const auto& c : cases) EXPECT_EQ(restackSibling(c.stacking, strip, ours), c.sibling) << c.what;
}

}  // namespace
}  // namespace tw
