#pragma once
// The release-feed check the stage starts a few seconds after it is built.
#include <functional>
#include <string>

namespace tw {

class UpdateChecker {
   public:
    virtual ~UpdateChecker() = default;
    // Returns at once. Calls `callback` at most once, on the main queue, with the
    // feed's version when it is newer than the running one; never on failure.
    virtual void checkForUpdates(std::function<void(const std::string& version)> callback) = 0;
};

}  // namespace tw
