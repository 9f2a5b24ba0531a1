#include "Tumblewick/shell/telemetry/telemetry.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "platform/settings_keys.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/loopback_server.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/unicode.h"

namespace tw {
namespace {

class RecordingHttpClient final : public HttpClient {
   public:
    void send(HttpRequest request, Completion completion) override {
        requests.push_back(std::move(request));
        HttpResponse response;
        response.status = 500;  // any answer: the batch is gone either way
        completion(response);
    }
    std::vector<HttpRequest> requests;
};

class TelemetryTest : public ::testing::Test {
   protected:
    testing::InMemoryDefaults defaults;
    RecordingHttpClient http;
    testing::ManualClock clock{Date::fromUnix(1700000000.25)};
    testing::ManualMainQueue queue;

    std::unique_ptr<Telemetry> makeClient() {
        return std::make_unique<Telemetry>(defaults, http, clock, queue,
                                           std::make_unique<InlineSerialExecutor>());
    }
    void trackMany(Telemetry& client, int count, const std::string& prefix = "e") {
        for (int i = 0; i < count; ++i) client.trackEvent(prefix + std::to_string(i), std::nullopt);
        queue.runPending();
    }
    static OrderedJson body(const HttpRequest& request) { return parseJson(request.body); }
};

TEST_F(TelemetryTest, NothingIsQueuedWithoutOptIn) {
    auto client = makeClient();
    client->configureEndpoint("http://127.0.0.1:9/t", "linux", "1.4.0");
    trackMany(*client, 12);
    queue.advance(60);
    EXPECT_TRUE(client->pendingEventsSnapshot().empty());
    EXPECT_TRUE(http.requests.empty());
}

TEST_F(TelemetryTest, NineEventsWaitForTheTimerAndTheTenthPostsAtOnce) {
    defaults.setBool(settings::telemetryOptIn.key, true);
    auto client = makeClient();
    client->configureEndpoint("http://127.0.0.1:9/t", "linux", "1.4.0");
    trackMany(*client, 9);
    EXPECT_TRUE(client->isFlushArmed());
    queue.advance(29.9);
    EXPECT_TRUE(http.requests.empty());
    queue.advance(0.2);
    ASSERT_EQ(http.requests.size(), 1u);
    const auto& request = http.requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, "http://127.0.0.1:9/t");
    EXPECT_EQ(request.headers, (std::map<std::string, std::string>{{"Content-Type", "application/json"}}));
    EXPECT_EQ(request.timeoutSeconds, 10.0);
    EXPECT_EQ(body(request)["events"].size(), 9u);
    EXPECT_FALSE(client->isFlushArmed());

    trackMany(*client, 10, "f");
    ASSERT_EQ(http.requests.size(), 2u);
    EXPECT_EQ(body(http.requests[1])["events"].size(), 10u);
    EXPECT_FALSE(client->isFlushArmed());
    queue.advance(31);
    EXPECT_EQ(http.requests.size(), 2u);  // the cancelled timer posts nothing
}

TEST_F(TelemetryTest, EventsWaitForAnEndpointAndKeepTheirOwnPlatform) {
    defaults.setBool(settings::telemetryOptIn.key, true);
    auto client = makeClient();
    client->trackEvent(
        "early", TelemetryProperties{{"flea_id", "Pip"}, {"n", 3}, {"x", 0.5}, {"b", true}, {"z", nullptr}});
    client->trackEvent("empty", TelemetryProperties{});
    queue.advance(31);
    EXPECT_TRUE(http.requests.empty());
    EXPECT_EQ(client->pendingEventsSnapshot().size(), 2u);

    client->configureEndpoint("http://127.0.0.1:9/t", "linux", "1.4.0");
    client->trackEvent("late", std::nullopt);
    client->flushNow();
    queue.runPending();
    ASSERT_EQ(http.requests.size(), 1u);
    const auto events = body(http.requests[0])["events"];
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]["platform"], "ios");
    EXPECT_EQ(events[0]["version"], "0.0.0");
    EXPECT_EQ(events[2]["platform"], "linux");
    EXPECT_EQ(events[2]["version"], "1.4.0");
    EXPECT_EQ(events[0]["properties"], parseJson(R"({"b":true,"flea_id":"Pip","n":3,"x":0.5,"z":null})"));
    EXPECT_EQ(events[1]["properties"], OrderedJson::object());
    EXPECT_FALSE(events[2].contains("properties"));
    EXPECT_TRUE(events[0]["ts"].is_number_float());
    EXPECT_DOUBLE_EQ(events[0]["ts"].get<double>(), 1700000000.25);
    const std::string anonymous = events[0]["anonymousId"];
    EXPECT_EQ(anonymous, unicode::lowercased(client->anonymousId().uuidString()));
}

TEST_F(TelemetryTest, AnEventThatCannotBeEncodedIsLeftOutAndTheRestAreSent) {
    defaults.setBool(settings::telemetryOptIn.key, true);
    auto client = makeClient();
    client->configureEndpoint("http://127.0.0.1:9/t", "linux", "1.4.0");
    std::vector<std::string> logged;
    log::setSinkForTesting([&](std::string_view line) { logged.emplace_back(line); });
    client->trackEvent("good", TelemetryProperties{{"x", 1.5}});
    client->trackEvent("bad", TelemetryProperties{{"x", std::numeric_limits<double>::quiet_NaN()}});
    client->trackEvent("also good", std::nullopt);
    client->flushNow();
    queue.runPending();
    log::setSinkForTesting(nullptr);
    ASSERT_EQ(http.requests.size(), 1u);
    const auto events = body(http.requests[0])["events"];
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["name"], "good");
    EXPECT_EQ(events[1]["name"], "also good");
    EXPECT_EQ(logged.size(), 1u);
    EXPECT_TRUE(client->pendingEventsSnapshot().empty());

    // A batch of nothing but bad events posts nothing.
    client->trackEvent("bad", TelemetryProperties{{"x", std::numeric_limits<double>::infinity()}});
    client->flushNow();
    queue.runPending();
    EXPECT_EQ(http.requests.size(), 1u);
}

TEST_F(TelemetryTest, QueueWithoutEndpointKeepsOnlyTheNewestThousand) {
    defaults.setBool(settings::telemetryOptIn.key, true);
    auto client = makeClient();
    std::vector<std::string> logged;
    log::setSinkForTesting([&](std::string_view line) { logged.emplace_back(line); });
    trackMany(*client, 1005);
    log::setSinkForTesting(nullptr);
    const auto pending = client->pendingEventsSnapshot();
    ASSERT_EQ(pending.size(), Telemetry::maxPendingEvents);
    EXPECT_EQ(pending.front().name, "e5");
    EXPECT_EQ(pending.back().name, "e1004");
    EXPECT_EQ(client->droppedEventCount(), 5u);
    EXPECT_EQ(logged.size(), 1u);
}

TEST_F(TelemetryTest, OptingOutForgetsTheQueueAndTheInstallationId) {
    defaults.setBool(settings::telemetryOptIn.key, true);
    auto client = makeClient();
    const Uuid before = client->anonymousId();
    EXPECT_EQ(defaults.stringForKey(Telemetry::anonymousIdKey), before.uuidString());
    trackMany(*client, 3);
    client->setOptIn(true);
    EXPECT_EQ(client->pendingEventsSnapshot().size(), 3u);
    EXPECT_EQ(client->anonymousId(), before);

    client->setOptIn(false);
    EXPECT_TRUE(client->pendingEventsSnapshot().empty());
    EXPECT_FALSE(client->isFlushArmed());
    EXPECT_NE(client->anonymousId(), before);
    EXPECT_EQ(defaults.stringForKey(Telemetry::anonymousIdKey), client->anonymousId().uuidString());
}

TEST_F(TelemetryTest, InstallationIdPersistsAndSessionIdIsNewEachLaunch) {
    defaults.setString(Telemetry::anonymousIdKey, "not-a-uuid");
    auto first = makeClient();
    ASSERT_TRUE(Uuid::parse(*defaults.stringForKey(Telemetry::anonymousIdKey)));
    auto second = makeClient();
    EXPECT_EQ(first->anonymousId(), second->anonymousId());
    EXPECT_NE(first->sessionId(), second->sessionId());
}

TEST_F(TelemetryTest, StaticCallsAndTheSharedSinkGoToTheInstalledClientOnly) {
    TelemetrySink& sink = Telemetry::sharedSink();
    Telemetry::track("nobody listens");  // no client installed: nothing happens
    sink.track("nobody listens either", {});
    defaults.setBool(settings::telemetryOptIn.key, true);
    std::shared_ptr<Telemetry> client = makeClient();
    Telemetry::installShared(client);
    EXPECT_TRUE(Telemetry::isOptedIn());
    Telemetry::track("flea_agent_refusal", TelemetryProperties{{"flea_id", "Rex"}});
    sink.track("flea_dialogue_fallback", TelemetryProperties{{"reason", "timeout"}});
    Telemetry::installShared(nullptr);
    Telemetry::track("after");
    sink.track("after", {});
    const auto events = client->pendingEventsSnapshot();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "flea_agent_refusal");
    EXPECT_EQ(events[1].name, "flea_dialogue_fallback");
    EXPECT_EQ(events[1].properties, (TelemetryProperties{{"reason", "timeout"}}));
}

// Settings and flushes before any event reach the app's telemetry without making its
// client: whoever is opted out is given no installation id, not even a new one.
TEST_F(TelemetryTest, StaticCallsMakeNoClientAndWriteNoIdForAnOptedOutUser) {
    for (const bool idFromAnEarlierOptIn : {false, true}) {
        defaults.remove(Telemetry::anonymousIdKey);
        if (idFromAnEarlierOptIn) defaults.setString(Telemetry::anonymousIdKey, Uuid::random().uuidString());
        SharedTelemetry source(defaults, http, clock, queue);
        Telemetry::setOptedIn(false);
        Telemetry::configure("http://127.0.0.1:9/t", "linux", "1.4.0");
        Telemetry::flush();
        Telemetry::track("dropped");
        EXPECT_EQ(Telemetry::shared(), nullptr);
        EXPECT_FALSE(defaults.hasKey(Telemetry::anonymousIdKey)) << idFromAnEarlierOptIn;

        // The first event after opting in makes it, posting where it was told before.
        Telemetry::setOptedIn(true);
        Telemetry::track("kept");
        ASSERT_NE(Telemetry::shared(), nullptr);
        Telemetry::flush();
        EXPECT_TRUE(Telemetry::shared()->pendingEventsSnapshot().empty());  // the flush has run
        queue.runPending();
        ASSERT_EQ(http.requests.size(), 1u);
        EXPECT_EQ(http.requests[0].url, "http://127.0.0.1:9/t");
        http.requests.clear();
    }
}

// A small real client for the loopback test: one request per thread, answer on the main queue.
class BlockingHttpClient final : public HttpClient {
   public:
    explicit BlockingHttpClient(MainQueue& main) : main_(main) {}
    ~BlockingHttpClient() override {
        for (auto& worker : workers_) worker.join();
    }
    void send(HttpRequest request, Completion completion) override {
        workers_.emplace_back([this, request = std::move(request), completion = std::move(completion)] {
            const auto split = request.url.find('/', std::string("http://").size());
            httplib::Client client(request.url.substr(0, split));
            client.set_read_timeout(static_cast<time_t>(request.timeoutSeconds));
            httplib::Headers headers;
            for (const auto& [name, value] : request.headers)
                if (name != "Content-Type") headers.emplace(name, value);
            auto result = client.Post(request.url.substr(split), headers, request.body,
                                      request.headers.at("Content-Type"));
            HttpResponse response;
            if (result) {
                response.status = result->status;
                response.body = result->body;
            } else {
                response.error = "transport failure";
            }
            main_.post([completion, response] { completion(response); });
        });
    }

   private:
    MainQueue& main_;
    std::vector<std::thread> workers_;
};

TEST(TelemetryLoopback, TenEventsArriveAsOneJsonBatch) {
    testing::LoopbackServer server;
    std::mutex mutex;
    std::vector<testing::LoopbackRequest> received;
    server.setHandler([&](const testing::LoopbackRequest& request) {
        std::lock_guard lock(mutex);
        received.push_back(request);
        testing::LoopbackResponse response;
        response.status = 202;
        response.body = "{}";
        return response;
    });
    testing::InMemoryDefaults defaults;
    defaults.setBool(settings::telemetryOptIn.key, true);
    testing::ManualClock clock;
    testing::ManualMainQueue queue;
    BlockingHttpClient http(queue);
    {
        Telemetry client(defaults, http, clock, queue, std::make_unique<ThreadSerialExecutor>());
        client.configureEndpoint(server.baseUrl() + "/v1/events", "linux", "1.4.0");
        for (int i = 0; i < 10; ++i)
            client.trackEvent("flea_agent_decision_made", TelemetryProperties{{"i", i}});
        bool done = false;
        client.flushNow([&] { done = true; });
        while (!done) ASSERT_TRUE(queue.waitAndRun(5.0));
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method, "POST");
    EXPECT_EQ(received[0].path, "/v1/events");
    EXPECT_EQ(received[0].header("Content-Type"), "application/json");
    const auto events = parseJson(received[0].body)["events"];
    ASSERT_EQ(events.size(), 10u);
    EXPECT_EQ(events[9]["properties"]["i"], 9);
}

}  // namespace
}  // namespace tw
