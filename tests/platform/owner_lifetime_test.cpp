#include "platform/owner_lifetime.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {
namespace {

// Every copy of a guarded callback runs, with its arguments, while the owner lives and
// is dropped once it is gone, whether or not it ran before.
TEST(OwnerLifetimeTest, GuardedCallbacksRunOnlyWhileTheOwnerLives) {
    std::vector<std::string> heard;
    auto owner = std::make_unique<OwnerLifetime>();
    std::function<void(const std::string&)> posted =
        owner->guarded([&heard](const std::string& text) { heard.push_back(text); });
    const auto copy = posted;

    posted("first");
    copy("second");
    owner.reset();
    posted("late");
    copy("later");

    EXPECT_EQ(heard, (std::vector<std::string>{"first", "second"}));
}

}  // namespace
}  // namespace tw
