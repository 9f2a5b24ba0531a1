// The update check against a real HTTP server on the loopback interface.
#include "Tumblewick/shell/launch/feed_update_checker.h"

#include <gtest/gtest.h>

#include <optional>

#include "Tumblewick/shell/launch/update_feed.h"
#include "platform/curl/curl_http_client.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/testing/loopback_server.h"
#include "tests/platform/qt/qt_event_pump.h"

namespace tw {
namespace {

// Passes requests on and counts the completions, so a check that calls nothing back
// can still be waited for.
class CountingHttpClient final : public HttpClient {
   public:
    explicit CountingHttpClient(HttpClient& inner) : inner_(inner) {}
    void send(HttpRequest request, Completion completion) override {
        lastRequest = request;
        inner_.send(std::move(request), [this, completion](HttpResponse response) {
            completion(std::move(response));
            ++completions;
        });
    }
    std::optional<HttpRequest> lastRequest;
    int completions = 0;

   private:
    HttpClient& inner_;
};

// The callback gets the version as the feed wrote it; only the strip shortens it.
TEST(FeedUpdateChecker, CallsBackOnlyWithANewerVersionFromAnyOfTheThreeFeedShapes) {
    testing::LoopbackServer server;
    QtMainQueue main;
    CurlHttpClient curlHttp(main);
    CountingHttpClient http(curlHttp);
    FeedUpdateChecker checker(http, server.baseUrl(), "1.4.0");

    struct Case {
        int status;
        std::string body;
        std::optional<std::string> calledWith;
    };
    const Case cases[] = {
        {200, R"({"latest": {"version": "1.5.0"}, "version": "1.4.9"})", "1.5.0"},
        {200, R"({"version": "1.4.1"})", "1.4.1"},
        {200, R"({"version": "v1.5.0"})", "v1.5.0"},
        {200, R"({"version": "V2.0-beta"})", "V2.0-beta"},
        {200, R"({"version": "1.5.0-)" + std::string(40, 'x') + R"("})", "1.5.0-" + std::string(40, 'x')},
        {200, R"([{"version": "2.0"}, {"version": "0.1"}])", "2.0"},
        {200, R"({"latest": "1.9.0", "version": "1.4.2"})", "1.4.2"},
        {404, R"({"version": "1.5.0"})", "1.5.0"},
        {200, R"({"version": 1.5})", std::nullopt},
        {200, R"({"version": "v1.3.0"})", std::nullopt},
        {200, R"({"version": "1.4"})", std::nullopt},
        {200, R"([{"name": "x"}, {"version": "9.0"}])", std::nullopt},
        {200, "[]", std::nullopt},
        {200, "<html>moved</html>", std::nullopt},
        // A release list with its notes runs to hundreds of kilobytes; past the cap it is no feed.
        {200, R"([{"version": "1.5.0", "notes": ")" + std::string(300 * 1024, 'n') + R"("}])", "1.5.0"},
        {200, std::string(kUpdateFeedMaxBytes, ' ') + R"({"version": "9.0"})", std::nullopt},
    };
    int index = 0;
    for (const Case& c : cases) {
        server.setHandler([&c](const testing::LoopbackRequest&) {
            return testing::LoopbackResponse{c.status, c.body};
        });
        std::vector<std::string> calls;
        checker.checkForUpdates([&](const std::string& version) { calls.push_back(version); });
        ASSERT_TRUE(pumpUntil([&] { return http.completions == index + 1; }));
        ++index;
        EXPECT_EQ(calls, c.calledWith ? std::vector<std::string>{*c.calledWith} : std::vector<std::string>{})
            << c.body.substr(0, 60);
    }
    ASSERT_TRUE(http.lastRequest);
    EXPECT_EQ(http.lastRequest->method, "GET");
    EXPECT_EQ(http.lastRequest->url, server.baseUrl() + "/dl/releases.json");
    EXPECT_EQ(http.lastRequest->headers.at("User-Agent"), "Tumblewick/1.4.0");
    EXPECT_EQ(http.lastRequest->timeoutSeconds, 10);

    // Without a feed configured nothing is asked.
    const int asked = server.requestCount();
    for (const char* origin : {"", "releases.example", "ftp://releases.example"}) {
        FeedUpdateChecker unconfigured(http, origin, "1.4.0");
        unconfigured.checkForUpdates([](const std::string&) { ADD_FAILURE(); });
    }
    EXPECT_EQ(http.completions, index);
    EXPECT_EQ(server.requestCount(), asked);
}

}  // namespace
}  // namespace tw
