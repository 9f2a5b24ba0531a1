#pragma once
// Opt-in usage events. `Telemetry::track(name, properties)` does nothing unless the
// user opted in; accepted events queue on the client's own executor and are posted
// in batches ({"events": [...]}) to an endpoint set with configure(). Nothing in the
// app sets an endpoint, so the queue is capped: beyond maxPendingEvents the oldest
// events are dropped (with one log line) instead of growing for the whole session.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/http_client.h"
#include "platform/json.h"
#include "platform/main_queue.h"
#include "platform/serial_executor.h"
#include "platform/telemetry_sink.h"
#include "platform/uuid.h"

namespace tw {

class Telemetry {
   public:
    static constexpr const char* anonymousIdKey = "tw_telemetry_anonymous_id";
    static constexpr std::size_t flushThreshold = 10;
    static constexpr double flushDelaySeconds = 30.0;
    static constexpr double requestTimeoutSeconds = 10.0;
    static constexpr std::size_t maxPendingEvents = 1000;

    // One queued event, as it goes on the wire.
    struct Event {
        std::string name;
        std::string platform;
        std::string version;
        std::string anonymousId;  // lower-case UUID text
        std::string sessionId;    // lower-case UUID text
        double ts = 0;            // seconds since 1970
        std::optional<TelemetryProperties> properties;

        OrderedJson toJson() const;
        friend bool operator==(const Event&, const Event&) = default;
    };

    // `defaults` is the standard suite. The executor serializes the client's state;
    // the delayed flush is a timer on `mainQueue`; HTTP completions arrive there too.
    // Every reference must outlive the client.
    Telemetry(Defaults& defaults, HttpClient& http, const Clock& clock, MainQueue& mainQueue,
              std::unique_ptr<SerialExecutor> executor);
    ~Telemetry();  // drains the executor
    Telemetry(const Telemetry&) = delete;
    Telemetry& operator=(const Telemetry&) = delete;

    // ---- the process-wide client: one installed as it is, or else the one the app's
    // SharedTelemetry has made; none before. Asking never makes one.
    static std::shared_ptr<Telemetry> shared();
    static void installShared(std::shared_ptr<Telemetry> client);  // nullptr uninstalls

    // Static calls go to the shared client. Without one they go to the app's
    // SharedTelemetry, which makes its client only to queue an opted-in event; with
    // neither they do nothing.
    static bool isOptedIn();
    static void setOptedIn(bool optedIn);
    static void configure(std::string endpoint, std::string platform, std::string version);
    // Reads the opt-in synchronously; never blocks on the queue, never fails.
    static void track(const std::string& name, std::optional<TelemetryProperties> properties = std::nullopt);
    // Posts what is pending (when an endpoint is set); `done` runs on the main queue.
    static void flush(std::function<void()> done = {});
    // A sink whose events go where track() sends them: to the client installed at the
    // time of each event, or nowhere. It lives for the whole process.
    static TelemetrySink& sharedSink();

    // ---- the same on one client (tests, and what the static calls forward to)
    bool optedIn() const;
    void setOptIn(bool optedIn);
    void configureEndpoint(std::string endpoint, std::string platform, std::string version);
    void trackEvent(const std::string& name, std::optional<TelemetryProperties> properties);
    void flushNow(std::function<void()> done = {});

    // ---- inspection (waits for the executor; tests and diagnostics)
    std::vector<Event> pendingEventsSnapshot() const;
    Uuid anonymousId() const;
    Uuid sessionId() const;
    bool isFlushArmed() const;
    std::size_t droppedEventCount() const;

    // The body of one post. Events that cannot be encoded are left out (with a log
    // line); empty when none can.
    static std::string encodeBatch(const std::vector<Event>& events);

   private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// The app's telemetry for its whole run: the source of Telemetry::shared() while it
// lives, the owner of the client once made, and the sink handed to the code that
// reports events. The client is made on first use, and an event dropped for want of
// the opt-in never gets that far: nobody who never opted in is given an installation id.
class SharedTelemetry final : public TelemetrySink {
   public:
    // `standardDefaults` holds the opt-in and the installation id. Every reference must
    // outlive this object.
    SharedTelemetry(Defaults& standardDefaults, HttpClient& http, const Clock& clock, MainQueue& mainQueue);
    ~SharedTelemetry() override;  // stops being the shared source, then drains the client
    SharedTelemetry(const SharedTelemetry&) = delete;
    SharedTelemetry& operator=(const SharedTelemetry&) = delete;

    // The client, made on the first call.
    std::shared_ptr<Telemetry> client();
    // The client when something has made it; none before.
    std::shared_ptr<Telemetry> madeClient() const;
    bool optedIn() const;
    void track(const std::string& name, TelemetryProperties properties) override;
    // Passed to the client once made; until then none is made for them. An endpoint set
    // before is handed to the client when it is made, and a flush has nothing to post.
    void setOptedIn(bool optedIn);
    void configure(std::string endpoint, std::string platform, std::string version);
    void flush(std::function<void()> done);

   private:
    struct Endpoint {
        std::string url, platform, version;
    };

    Defaults& defaults_;
    HttpClient& http_;
    const Clock& clock_;
    MainQueue& mainQueue_;
    mutable std::mutex mutex_;
    std::shared_ptr<Telemetry> client_;
    std::optional<Endpoint> endpoint_;  // set before the client was made
};

}  // namespace tw
