#include "Tumblewick/shell/telemetry/telemetry.h"

#include <deque>
#include <future>
#include <iterator>
#include <mutex>
#include <utility>

#include "platform/log.h"
#include "platform/settings_keys.h"
#include "platform/unicode.h"

namespace tw {

// ---------------------------------------------------------------- Event, batch

OrderedJson Telemetry::Event::toJson() const {
    OrderedJson j = OrderedJson::object();
    j["name"] = name;
    j["platform"] = platform;
    j["version"] = version;
    j["anonymousId"] = anonymousId;
    j["sessionId"] = sessionId;
    j["ts"] = finiteJson(ts, "ts");
    if (properties) {
        OrderedJson props = OrderedJson::object();
        for (const auto& [key, value] : *properties) props[key] = value.toJson();
        j["properties"] = std::move(props);
    }
    return j;
}

std::string Telemetry::encodeBatch(const std::vector<Event>& events) {
    OrderedJson list = OrderedJson::array();
    std::size_t skipped = 0;
    for (const auto& event : events) {
        // One event with a NaN or infinite property must not take the others with it.
        try {
            list.push_back(event.toJson());
        } catch (const JsonEncodeError& error) {
            if (skipped++ == 0)
                log::warning("Telemetry: left out event \"" + event.name +
                             "\" that cannot be encoded: " + error.what());
        }
    }
    if (list.empty()) return {};
    OrderedJson batch = OrderedJson::object();
    batch["events"] = std::move(list);
    return dumpJson(batch);
}

// ---------------------------------------------------------------- the client's state

namespace {
// An id as events carry it: lower-case hyphenated text.
std::string eventIdText(const Uuid& id) { return unicode::lowercased(id.uuidString()); }
}  // namespace

struct Telemetry::Impl {
    Impl(Defaults& d, HttpClient& h, const Clock& c, MainQueue& m, std::unique_ptr<SerialExecutor> e)
        : defaults(d), http(h), clock(c), main(m), executor(std::move(e)) {}
    // Let queued jobs finish while every member still exists.
    ~Impl() { executor.reset(); }

    Defaults& defaults;
    HttpClient& http;
    const Clock& clock;
    MainQueue& main;
    std::unique_ptr<SerialExecutor> executor;
    std::weak_ptr<Impl> self;

    // Touched only by jobs on `executor`.
    std::optional<std::string> endpoint;
    std::string platform = "ios";
    std::string appVersion = "0.0.0";
    Uuid anonymousId;
    Uuid sessionId = Uuid::random();
    // Both ids as every event carries them, formatted once per id.
    std::string anonymousIdText;
    std::string sessionIdText = eventIdText(sessionId);
    std::deque<Event> pendingEvents;  // oldest first; at the cap each new event drops the oldest
    bool flushArmed = false;
    std::uint64_t flushGeneration = 0;  // a fired timer of an older generation does nothing
    std::size_t droppedEvents = 0;

    void loadAnonymousId() {
        auto stored = defaults.stringForKey(anonymousIdKey);
        if (stored) {
            if (auto parsed = Uuid::parse(*stored)) {
                setAnonymousId(*parsed);
                return;
            }
            log::warning("Telemetry: stored anonymous id is not a UUID; making a new one");
        }
        renewAnonymousId();
    }

    void renewAnonymousId() {
        setAnonymousId(Uuid::random());
        defaults.setString(anonymousIdKey, anonymousId.uuidString());
    }

    void setAnonymousId(const Uuid& id) {
        anonymousId = id;
        anonymousIdText = eventIdText(id);
    }

    void enqueue(std::string name, std::optional<TelemetryProperties> properties, double ts) {
        pendingEvents.push_back(Event{std::move(name), platform, appVersion, anonymousIdText, sessionIdText,
                                      ts, std::move(properties)});
        if (pendingEvents.size() > maxPendingEvents) {
            pendingEvents.pop_front();
            if (droppedEvents++ == 0)
                log::warning("Telemetry: no endpoint is taking events; keeping only the newest " +
                             std::to_string(maxPendingEvents));
        }
        if (pendingEvents.size() >= flushThreshold) {
            executor->execute([this] { flushLocked({}); });
        } else if (!flushArmed) {
            scheduleDelayedFlush();
        }
    }

    void scheduleDelayedFlush() {
        flushArmed = true;
        const std::uint64_t generation = ++flushGeneration;
        // Timers belong to the main thread: arm from there, and come back here to flush.
        main.post([weak = self, generation] {
            auto impl = weak.lock();
            if (!impl) return;
            impl->main.postAfter(flushDelaySeconds, [weak, generation] {
                auto impl = weak.lock();
                if (!impl) return;
                Impl* raw = impl.get();
                raw->executor->execute([raw, generation] {
                    if (raw->flushArmed && raw->flushGeneration == generation) raw->flushLocked({});
                });
            });
        });
    }

    void cancelDelayedFlush() {
        flushArmed = false;
        ++flushGeneration;
    }

    void flushLocked(std::function<void()> done) {
        cancelDelayedFlush();
        if (pendingEvents.empty() || !endpoint) {
            finish(std::move(done));
            return;
        }
        std::vector<Event> batch(std::make_move_iterator(pendingEvents.begin()),
                                 std::make_move_iterator(pendingEvents.end()));
        pendingEvents.clear();
        send(std::move(batch), *endpoint, std::move(done));
    }

    // A batch is sent once: whatever the answer, it is gone.
    void send(std::vector<Event> events, const std::string& url, std::function<void()> done) {
        HttpRequest request;
        request.method = "POST";
        request.url = url;
        request.headers["Content-Type"] = "application/json";
        request.timeoutSeconds = requestTimeoutSeconds;
        request.body = encodeBatch(events);
        if (request.body.empty()) {  // nothing in the batch could be encoded
            finish(std::move(done));
            return;
        }
        main.post([weak = self, request = std::move(request), done = std::move(done)]() mutable {
            auto impl = weak.lock();
            if (!impl) return;
            impl->http.send(std::move(request), [done = std::move(done)](HttpResponse) {
                if (done) done();
            });
        });
    }

    void forgetLocally() {
        cancelDelayedFlush();
        pendingEvents.clear();
        renewAnonymousId();
    }

    void finish(std::function<void()> done) {
        if (done) main.post(std::move(done));
    }

    template <typename F>
    auto query(F read) const -> decltype(read()) {
        std::promise<decltype(read())> promise;
        auto future = promise.get_future();
        executor->execute([&] { promise.set_value(read()); });
        return future.get();
    }
};

// ---------------------------------------------------------------- Telemetry

Telemetry::Telemetry(Defaults& defaults, HttpClient& http, const Clock& clock, MainQueue& mainQueue,
                     std::unique_ptr<SerialExecutor> executor)
    : impl_(std::make_shared<Impl>(defaults, http, clock, mainQueue, std::move(executor))) {
    impl_->self = impl_;
    impl_->loadAnonymousId();
}

Telemetry::~Telemetry() = default;

namespace {
std::mutex sharedMutex;
std::shared_ptr<Telemetry> sharedClient;  // installed as it is
SharedTelemetry* sharedSource = nullptr;  // makes the client for the first opted-in event

// A static call goes to the installed client, or else to the app's source, which passes
// it to its client once made and otherwise keeps it without making one: a getter or a
// setting must not hand an installation id to someone who never opted in.
template <typename OnClient, typename OnSource>
void forwardShared(OnClient onClient, OnSource onSource) {
    std::shared_ptr<Telemetry> client;
    {
        std::lock_guard lock(sharedMutex);
        if (!sharedClient) {
            if (sharedSource) onSource(*sharedSource);  // under the lock: the source may be going
            return;
        }
        client = sharedClient;
    }
    onClient(*client);
}
}  // namespace

std::shared_ptr<Telemetry> Telemetry::shared() {
    std::lock_guard lock(sharedMutex);
    if (sharedClient) return sharedClient;
    return sharedSource ? sharedSource->madeClient() : nullptr;
}

void Telemetry::installShared(std::shared_ptr<Telemetry> client) {
    std::shared_ptr<Telemetry> previous;
    {
        std::lock_guard lock(sharedMutex);
        previous = std::exchange(sharedClient, std::move(client));
    }
    // `previous` is released outside the lock: its destructor drains its executor.
}

bool Telemetry::isOptedIn() {
    std::lock_guard lock(sharedMutex);
    if (sharedClient) return sharedClient->optedIn();
    return sharedSource && sharedSource->optedIn();
}

void Telemetry::setOptedIn(bool optedIn) {
    forwardShared([&](Telemetry& client) { client.setOptIn(optedIn); },
                  [&](SharedTelemetry& source) { source.setOptedIn(optedIn); });
}

void Telemetry::configure(std::string endpoint, std::string platform, std::string version) {
    forwardShared(
        [&](Telemetry& client) {
            client.configureEndpoint(std::move(endpoint), std::move(platform), std::move(version));
        },
        [&](SharedTelemetry& source) {
            source.configure(std::move(endpoint), std::move(platform), std::move(version));
        });
}

void Telemetry::track(const std::string& name, std::optional<TelemetryProperties> properties) {
    // Checked first: an event nobody may see never makes the client.
    if (!isOptedIn()) return;
    forwardShared([&](Telemetry& client) { client.trackEvent(name, std::move(properties)); },
                  [&](SharedTelemetry& source) { source.client()->trackEvent(name, std::move(properties)); });
}

TelemetrySink& Telemetry::sharedSink() {
    class SharedSink final : public TelemetrySink {
       public:
        void track(const std::string& name, TelemetryProperties properties) override {
            Telemetry::track(name, std::move(properties));
        }
    };
    static SharedSink sink;
    return sink;
}

void Telemetry::flush(std::function<void()> done) {
    forwardShared([&](Telemetry& client) { client.flushNow(std::move(done)); },
                  [&](SharedTelemetry& source) { source.flush(std::move(done)); });
}

bool Telemetry::optedIn() const { return impl_->defaults.boolForKey(settings::telemetryOptIn.key); }

void Telemetry::setOptIn(bool optedIn) {
    impl_->defaults.setBool(settings::telemetryOptIn.key, optedIn);
    if (!optedIn) {
        Impl* impl = impl_.get();
        impl->executor->execute([impl] { impl->forgetLocally(); });
    }
}

void Telemetry::configureEndpoint(std::string endpoint, std::string platform, std::string version) {
    Impl* impl = impl_.get();
    impl->executor->execute([impl, endpoint = std::move(endpoint), platform = std::move(platform),
                             version = std::move(version)]() mutable {
        impl->endpoint = std::move(endpoint);
        impl->platform = std::move(platform);
        impl->appVersion = std::move(version);
    });
}

void Telemetry::trackEvent(const std::string& name, std::optional<TelemetryProperties> properties) {
    if (!optedIn()) return;
    Impl* impl = impl_.get();
    const double ts = impl->clock.now().toUnix();
    impl->executor->execute([impl, name, properties = std::move(properties), ts]() mutable {
        impl->enqueue(std::move(name), std::move(properties), ts);
    });
}

void Telemetry::flushNow(std::function<void()> done) {
    Impl* impl = impl_.get();
    impl->executor->execute([impl, done = std::move(done)]() mutable { impl->flushLocked(std::move(done)); });
}

std::vector<Telemetry::Event> Telemetry::pendingEventsSnapshot() const {
    return impl_->query([impl = impl_.get()] {
        return std::vector<Event>(impl->pendingEvents.begin(), impl->pendingEvents.end());
    });
}

Uuid Telemetry::anonymousId() const {
    return impl_->query([impl = impl_.get()] { return impl->anonymousId; });
}

Uuid Telemetry::sessionId() const {
    return impl_->query([impl = impl_.get()] { return impl->sessionId; });
}

bool Telemetry::isFlushArmed() const {
    return impl_->query([impl = impl_.get()] { return impl->flushArmed; });
}

std::size_t Telemetry::droppedEventCount() const {
    return impl_->query([impl = impl_.get()] { return impl->droppedEvents; });
}

// ---------------------------------------------------------------- SharedTelemetry

SharedTelemetry::SharedTelemetry(Defaults& standardDefaults, HttpClient& http, const Clock& clock,
                                 MainQueue& mainQueue)
    : defaults_(standardDefaults), http_(http), clock_(clock), mainQueue_(mainQueue) {
    std::lock_guard lock(sharedMutex);
    sharedSource = this;
}

SharedTelemetry::~SharedTelemetry() {
    {
        std::lock_guard lock(sharedMutex);
        if (sharedSource == this) sharedSource = nullptr;
    }
    std::shared_ptr<Telemetry> client;
    {
        std::lock_guard lock(mutex_);
        client = std::move(client_);
    }
    // Released outside both locks: the client's destructor drains its executor.
}

std::shared_ptr<Telemetry> SharedTelemetry::client() {
    std::lock_guard lock(mutex_);
    if (!client_) {
        client_ = std::make_shared<Telemetry>(defaults_, http_, clock_, mainQueue_,
                                              std::make_unique<ThreadSerialExecutor>());
        if (endpoint_) client_->configureEndpoint(endpoint_->url, endpoint_->platform, endpoint_->version);
    }
    return client_;
}

void SharedTelemetry::setOptedIn(bool optedIn) {
    std::lock_guard lock(mutex_);
    if (client_) {
        client_->setOptIn(optedIn);
        return;
    }
    defaults_.setBool(settings::telemetryOptIn.key, optedIn);
    // Opting out changes the installation id: with no client, the next one makes a new id.
    if (!optedIn) defaults_.remove(Telemetry::anonymousIdKey);
}

void SharedTelemetry::configure(std::string endpoint, std::string platform, std::string version) {
    std::lock_guard lock(mutex_);
    if (client_) {
        client_->configureEndpoint(std::move(endpoint), std::move(platform), std::move(version));
        return;
    }
    endpoint_ = Endpoint{std::move(endpoint), std::move(platform), std::move(version)};
}

void SharedTelemetry::flush(std::function<void()> done) {
    std::lock_guard lock(mutex_);
    if (client_)
        client_->flushNow(std::move(done));
    else if (done)
        mainQueue_.post(std::move(done));  // nothing was ever queued
}

std::shared_ptr<Telemetry> SharedTelemetry::madeClient() const {
    std::lock_guard lock(mutex_);
    return client_;
}

bool SharedTelemetry::optedIn() const { return defaults_.boolForKey(settings::telemetryOptIn.key); }

void SharedTelemetry::track(const std::string& name, TelemetryProperties properties) {
    if (!optedIn()) return;
    client()->trackEvent(name, std::move(properties));
}

}  // namespace tw
