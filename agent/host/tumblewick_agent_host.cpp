#include "agent/host/tumblewick_agent_host.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "agent/host/agent_host_tables.h"
#include "dialogue/llm_dialogue_generator.h"
#include "dialogue/template_dialogue_generator.h"
#include "platform/http_language_model.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"
#include "platform/url_user_info.h"

namespace tw {

namespace {

template <typename T>
T& required(T* pointer, const char* what) {
    if (!pointer) throw std::invalid_argument(std::string("The agent host needs a ") + what);
    return *pointer;
}

TumblewickAgentHost* installedHost = nullptr;

std::unique_ptr<SerialExecutor> makeExecutor(const TumblewickAgentHost::Environment& environment) {
    if (environment.makeExecutor) return environment.makeExecutor();
    return std::make_unique<ThreadSerialExecutor>();
}

TelemetrySink& telemetryOf(const TumblewickAgentHost::Environment& environment) {
    return environment.telemetry ? *environment.telemetry : noTelemetry();
}

// Where the model's guard is kept, for the line that tells the user how to reset it.
std::filesystem::path settingsFileOf(const Defaults& defaults) {
    const auto* file = dynamic_cast<const JsonFileDefaults*>(&defaults);
    return file ? file->file() : std::filesystem::path{};
}

}  // namespace

// ---------------------------------------------------------------- the shared host

void TumblewickAgentHost::installShared(TumblewickAgentHost* host) { installedHost = host; }

TumblewickAgentHost& TumblewickAgentHost::shared() {
    if (!installedHost) throw std::logic_error("No agent host is installed");
    return *installedHost;
}

std::optional<std::filesystem::path> TumblewickAgentHost::defaultCacheDiskURL() {
    const std::filesystem::path directory = paths::dataDirectory();
    if (directory.empty()) return std::nullopt;
    // Without the directory the cache finds no file and goes on in memory.
    paths::ensureDirectory(directory);
    return directory / cacheFileName;
}

// ---------------------------------------------------------------- construction

TumblewickAgentHost::TumblewickAgentHost(Environment environment)
    : mainQueue_(required(environment.mainQueue, "main queue")),
      clock_(required(environment.clock, "clock")),
      spotlight_(required(environment.standardDefaults, "standard defaults suite"), clock_.now()),
      calendar_(std::move(environment.calendar)),
      surfaceSignatureToast_(std::move(environment.surfaceSignatureToast)),
      lifeline_(std::make_shared<Lifeline>(Lifeline{this})),
      agentScheduler_(
          true, std::move(environment.stringHash),
          [this](const std::string& fleaName, const std::string& intent, bool isInitiative, Date at) {
              if (sharedStore_)
                  sharedStore_->recordAgentDecision(fleaName, intent, isInitiative, at, calendar_);
          },
          telemetryOf(environment)),
      stageStateStore_(telemetryOf(environment)),
      dialogueCache_(
          std::make_shared<DialogueCache>(environment.cacheDiskURL, clock_, makeExecutor(environment))),
      decisionLog_(std::make_unique<AgentDecisionLog>(makeExecutor(environment))),
      channelStore_(std::make_unique<DialogueChannelStore>(makeExecutor(environment))),
      memories_(
          clock_, calendar_,
          [this](const std::string& line, const std::string& fleaName, Date at, const Calendar& calendar) {
              if (sharedStore_) sharedStore_->recordAgentThought(line, fleaName, at, calendar);
          }),
      customFleaAgents_(environment.customFleas) {
    if (environment.sharedSuite) sharedStore_.emplace(*environment.sharedSuite);

    // The model speaks only when a model server is named; otherwise the templates do.
    std::shared_ptr<FleaDialogueGenerator> llm;
    if (environment.makeLanguageModel) {
        if (const auto baseUrl = HttpLanguageModel::baseUrlFromEnvironment()) {
            if (auto model = environment.makeLanguageModel(*baseUrl)) {
                auto generator = LLMDialogueGenerator::create(std::move(model), *environment.standardDefaults,
                                                              makeExecutor(environment),
                                                              settingsFileOf(*environment.standardDefaults));
                generator->announceServer(withoutUserInfo(*baseUrl));
                llm = std::move(generator);
            }
        }
    }
    hasLanguageModel_ = llm != nullptr;
    auto templates =
        std::make_shared<TemplateDialogueGenerator>(processStringHashFunction(), makeExecutor(environment));
    dialogueRouter_ =
        std::make_unique<FleaDialogueRouter>(std::move(llm), std::move(templates), dialogueCache_, clock_,
                                             telemetryOf(environment), false, makeExecutor(environment));
}

TumblewickAgentHost::~TumblewickAgentHost() {
    shutdown();
    // Each service drains and joins its executor; they go in reverse order of creation
    // (the router and its generators before the stores and the cache they were made
    // after). What they still deliver finds the lifeline cleared and is dropped.
    dialogueRouter_.reset();
    channelStore_.reset();
    decisionLog_.reset();
    dialogueCache_.reset();
}

// ---------------------------------------------------------------- lifecycle

void TumblewickAgentHost::start() {
    if (!lifeline_->host) {
        log::warning("The agent host was shut down; it does not start again");
        return;
    }
    if (!didSeed_) {
        didSeed_ = true;
        seedResidents();
    }
    registerCustomFleasIfNeeded();

    auto life = lifeline_;
    if (tickTimer_) mainQueue_.cancel(*tickTimer_);
    tickTimer_ = mainQueue_.repeat(tickSeconds, [life] {
        if (life->host) life->host->tick(life->host->clock_.now());
    });
    otherTimers_.push_back(mainQueue_.repeat(registrationSeconds, [life] {
        if (life->host) life->host->registerCustomFleasIfNeeded();
    }));
    otherTimers_.push_back(mainQueue_.repeat(diarySeconds, [life] {
        if (life->host) life->host->generateDiaryLine();
    }));
    otherTimers_.push_back(mainQueue_.postAfter(firstDiaryDelaySeconds, [life] {
        if (life->host) life->host->generateDiaryLine();
    }));
}

void TumblewickAgentHost::stop() {
    if (tickTimer_) mainQueue_.cancel(*tickTimer_);
    tickTimer_.reset();
}

void TumblewickAgentHost::shutdown() {
    stop();
    for (TaskId id : otherTimers_) mainQueue_.cancel(id);
    otherTimers_.clear();
    lifeline_->host = nullptr;
}

void TumblewickAgentHost::seedResidents() {
    for (const auto& resident : residents) {
        const std::string name(resident.name);
        enrol(name, agent_host::plainVoiceCard(name), std::string(resident.act));
    }
    ++stageRevision_;
}

void TumblewickAgentHost::registerCustomFleasIfNeeded() {
    const auto changes = customFleaAgents_.reconcile();
    // The card is built once: a later rename or level reaches the agent next run.
    for (const auto& flea : changes.added)
        enrol(flea.id.uuidString(), agent_host::customFleaVoiceCard(flea),
              agent_host::normalisedAct(flea.discoveredAct));
    // A deleted flea leaves the scheduler; its stage state stays where it was.
    for (const Uuid& id : changes.removed) agentScheduler_.unregisterFlea(id.uuidString());
    ++stageRevision_;
}

void TumblewickAgentHost::enrol(const std::string& fleaID, VoiceCard card, std::string act) {
    agentScheduler_.registerFlea(fleaID, std::move(card));
    memories_.forgetHandOver(fleaID);  // registered with none: hand them over again
    stageStateStore_.registerFlea(fleaID, std::move(act));
}

// ---------------------------------------------------------------- the stage's inputs

void TumblewickAgentHost::setEnergyFraction(double fraction) {
    currentEnergyFraction_ = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
}

TumblewickAgentHost::PlayerActionDecision TumblewickAgentHost::requestPlayerAction(
    const std::string& fleaID, const std::string& actionID, bool overrideRefusal) {
    const Date now = clock_.now();
    PlayerActionDecision decision =
        stageStateStore_.requestPlayerAction(fleaID, actionID, overrideRefusal, now);
    if (decision.isRefusal()) lineFeed_.noteRefusal(fleaID, now);
    ++stageRevision_;
    return decision;
}

}  // namespace tw
