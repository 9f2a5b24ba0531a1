#include "Tumblewick/shell/launch/feed_update_checker.h"

#include "Tumblewick/shell/launch/update_feed.h"

namespace tw {
namespace {

constexpr double feedTimeoutSeconds = 10;

}  // namespace

FeedUpdateChecker::FeedUpdateChecker(HttpClient& http, std::string feedOrigin, std::string runningVersion)
    : http_(http), feedOrigin_(std::move(feedOrigin)), runningVersion_(std::move(runningVersion)) {}

void FeedUpdateChecker::checkForUpdates(std::function<void(const std::string& version)> callback) {
    const auto url = updateFeedUrl(feedOrigin_);
    if (!url) return;
    HttpRequest request;
    request.url = *url;
    request.headers["User-Agent"] = "Tumblewick/" + runningVersion_;
    request.timeoutSeconds = feedTimeoutSeconds;
    request.maxResponseBytes = kUpdateFeedMaxBytes;
    // The client completes on the main queue, where the callback must run.
    http_.send(std::move(request),
               [callback = std::move(callback), running = runningVersion_](const HttpResponse& response) {
                   if (response.error) return;
                   const auto version = feedVersion(response.body);
                   if (version && isNewerVersion(*version, running)) callback(*version);
               });
}

}  // namespace tw
