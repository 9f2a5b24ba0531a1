#pragma once
// Asks the release feed once per call whether a newer version exists, and hands on a
// newer one as the feed wrote it (a leading "v" and all). Every failure (no feed
// configured, no answer, a body that is not a feed, an older version) ends the check
// silently; the HTTP status is not looked at.
#include <string>

#include "Tumblewick/stage/update_checker.h"
#include "platform/http_client.h"

namespace tw {

class FeedUpdateChecker final : public UpdateChecker {
   public:
    // `feedOrigin` is "scheme://host[:port]"; empty means no feed, so no request is made.
    FeedUpdateChecker(HttpClient& http, std::string feedOrigin, std::string runningVersion);

    void checkForUpdates(std::function<void(const std::string& version)> callback) override;

   private:
    HttpClient& http_;
    std::string feedOrigin_;
    std::string runningVersion_;
};

}  // namespace tw
