#include "Tumblewick/shell/app_services.h"

#include "Tumblewick/colony/mac_custom_flea_store.h"
#include "agent/host/shared_store.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/http_language_model.h"
#include "platform/log.h"
#include "troupe/store/troupe_store.h"
#include "troupe/surfaces/troupe_watch_bridge.h"
#include "windows/exports/export_environment.h"
#include "windows/toast/qt/signature_toast_installation.h"
#include "windows/toast/tumblewick_signature_toast.h"

namespace tw {
namespace {

// The custom fleas as the agent host sees them.
class CustomFleaStoreRoster final : public CustomFleaRoster {
   public:
    explicit CustomFleaStoreRoster(MacCustomFleaStore& store) : store_(store) {}
    std::vector<RosterFlea> customFleas() const override {
        std::vector<RosterFlea> fleas;
        for (const MacCustomFlea& flea : store_.fleas())
            fleas.push_back({flea.id, flea.name, flea.hatKind, flea.discoveredAct, flea.level()});
        return fleas;
    }
    void addXP(std::int64_t amount, const Uuid& fleaID) override { store_.addXP(amount, fleaID); }

   private:
    MacCustomFleaStore& store_;
};

}  // namespace

AppServices::AppServices()
    : standardDefaults_(JsonFileDefaults::suiteFile("standard")),
      groupDefaults_(JsonFileDefaults::suiteFile(SharedStore::appGroupSuiteName)),
      http_(mainQueue_) {
    Desktop::installShared(&desktop_);
    // This run's troupe lines are kept on this machine's own disk until the log holds them.
    troupe_ = std::make_unique<TroupeStore>(TroupeStore::defaultDirectory(), standardDefaults_, clock_,
                                            mainQueue_, notifications_, TroupeLogReadControl::ReadFunction{},
                                            nullptr, TroupeStore::defaultKeepDirectory());
    TroupeStore::installShared(troupe_.get());
    customFleas_ = std::make_unique<MacCustomFleaStore>(standardDefaults_, clock_, mainQueue_, troupe_.get());
    MacCustomFleaStore::installShared(customFleas_.get());
    roster_ = std::make_unique<CustomFleaStoreRoster>(*customFleas_);
    TroupeWatchBridge::appGroupDefaults = &groupDefaults_;

    // Owned here, not in a static: its widget must go before the application object.
    toast_ = std::make_unique<SignatureToastInstallation>(TumblewickSignatureToast::shared(), mainQueue_,
                                                          clock_, standardDefaults_, desktop_, windowFading_);
    ExportEnvironment::installShared(
        ExportEnvironment{.clock = &clock_, .standardDefaults = &standardDefaults_, .desktopFolder = {}});

    TumblewickAgentHost::Environment host;
    host.mainQueue = &mainQueue_;
    host.clock = &clock_;
    host.standardDefaults = &standardDefaults_;
    host.sharedSuite = &groupDefaults_;
    host.customFleas = roster_.get();
    host.telemetry = &telemetry_;
    host.cacheDiskURL = TumblewickAgentHost::defaultCacheDiskURL();
    HttpClient* http = &http_;
    host.makeLanguageModel = [http](const std::string& baseUrl) -> std::shared_ptr<LanguageModel> {
        return std::make_shared<HttpLanguageModel>(*http, baseUrl);
    };
    host.surfaceSignatureToast = TumblewickSignatureToast::sharedSurface();
    host_ = std::make_unique<TumblewickAgentHost>(std::move(host));
    TumblewickAgentHost::installShared(host_.get());
    stageHost_ = std::make_unique<AgentHostForStage>(*host_);
    stageFleas_ = std::make_unique<CustomFleaStoreForStage>(*customFleas_);
}

AppServices::~AppServices() {
    shutdown();
    // Each global goes before what it points at; the host joins its executors, the
    // stores their writers. The members below then go in reverse order: the HTTP
    // thread after the host that sent requests through it, the settings writers last.
    stageFleas_.reset();
    stageHost_.reset();
    TumblewickAgentHost::installShared(nullptr);
    host_.reset();
    ExportEnvironment::installShared({});
    toast_.reset();
    TroupeWatchBridge::appGroupDefaults = nullptr;
    roster_.reset();
    MacCustomFleaStore::installShared(nullptr);
    customFleas_.reset();
    TroupeStore::installShared(nullptr);
    troupe_.reset();
    Desktop::installShared(nullptr);
}

void AppServices::closeSession() {
    if (sessionClosed_) return;
    sessionClosed_ = true;
    host_->shutdown();
    // A quit waits for no load: the session's start and end are written all the same.
    troupe_->stopLoading();
    troupe_->markSessionEnd(clock_.now());
}

void AppServices::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    closeSession();
    // The quit's one look at what the log lacks; the store's own end after only writes.
    if (!troupe_->drain()) log::warning("The troupe log could not be written completely on quit.");
    if (!standardDefaults_.flush()) log::warning("Could not save settings on quit.");
    groupDefaults_.flush();
}

}  // namespace tw
