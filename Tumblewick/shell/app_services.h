#pragma once
// The process-wide services, created once at start-up in dependency order and torn
// down in reverse: settings suites, the main queue and clock, the notification
// centre, telemetry, the troupe and custom-flea stores, the agent host and the
// exports' and toast's environment. They are owned here; the shared() accessors of the stores and
// the host only point at them while this object lives. Main thread only.
#include <memory>

#include "Tumblewick/shell/telemetry/telemetry.h"
#include "Tumblewick/stage/stage_host_adapters.h"
#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/curl/curl_http_client.h"
#include "platform/defaults.h"
#include "platform/notification_center.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/qt/window_fade.h"

namespace tw {

class SignatureToastInstallation;
class TroupeStore;
class MacCustomFleaStore;
class CustomFleaRoster;
class TumblewickAgentHost;

class AppServices {
   public:
    AppServices();
    // Runs shutdown() when nobody did, then uninstalls the globals and destroys the
    // services in reverse order of creation, joining every thread they started.
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    QtMainQueue& mainQueue() { return mainQueue_; }
    const Clock& clock() const { return clock_; }
    JsonFileDefaults& standardDefaults() { return standardDefaults_; }
    JsonFileDefaults& groupDefaults() { return groupDefaults_; }
    NotificationCenter& notifications() { return notifications_; }
    HttpClient& http() { return http_; }
    // Where usage events go: the shared telemetry client, made on the first event the
    // user has opted in to.
    SharedTelemetry& telemetry() { return telemetry_; }
    TroupeStore& troupe() { return *troupe_; }
    MacCustomFleaStore& customFleas() { return *customFleas_; }
    // The custom fleas as the agent host and the windows below the shell see them.
    CustomFleaRoster& customFleaRoster() { return *roster_; }
    TumblewickAgentHost& agentHost() { return *host_; }
    // How the toast and the drag-down log fade on this display, decided at start-up.
    WindowFading windowFading() const { return windowFading_; }

    // What every stage view is handed.
    AgentHostForStage& stageAgentHost() { return *stageHost_; }
    CustomFleaStoreForStage& stageCustomFleas() { return *stageFleas_; }

    // The quit path, in two steps that each run once: stop the agent host's timers
    // without waiting on any request, stop a troupe load in progress and append the
    // session end; then (after the chapter on quit) drain the troupe log and save the
    // settings. shutdown() closes the session first when nobody did. Everything stays
    // readable until destruction.
    void closeSession();
    void shutdown();

   private:
    QtMainQueue mainQueue_;
    SystemClock clock_;
    JsonFileDefaults standardDefaults_;
    JsonFileDefaults groupDefaults_;  // the app group's, read by companion programs
    NotificationCenter notifications_;
    CurlHttpClient http_;
    SharedTelemetry telemetry_{standardDefaults_, http_, clock_, mainQueue_};  // posts through http_
    QtDesktop desktop_;  // reveal in the file manager, sounds, alerts
    WindowFading windowFading_ = decideWindowFading();
    std::unique_ptr<TroupeStore> troupe_;
    std::unique_ptr<MacCustomFleaStore> customFleas_;
    std::unique_ptr<CustomFleaRoster> roster_;
    std::unique_ptr<SignatureToastInstallation> toast_;
    std::unique_ptr<TumblewickAgentHost> host_;  // its requests go through http_
    std::unique_ptr<AgentHostForStage> stageHost_;
    std::unique_ptr<CustomFleaStoreForStage> stageFleas_;
    bool sessionClosed_ = false;
    bool shutDown_ = false;
};

}  // namespace tw
