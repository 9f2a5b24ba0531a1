#include "agent/host/tumblewick_agent_host.h"

#include <cmath>
#include <stdexcept>

#include "agent/host/agent_host_tables.h"
#include "dialogue/llm_dialogue_generator.h"
#include "dialogue/template_dialogue_generator.h"
#include "platform/http_language_model.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/settings_keys.h"

namespace tw {

namespace {

template <typename T>
T& required(T* pointer, const char* what) {
    if (!pointer) throw std::invalid_argument(std::string("The agent host needs a ") + what);
    return *pointer;
}

TumblewickAgentHost* installedHost = nullptr;

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
      standardDefaults_(required(environment.standardDefaults, "standard defaults suite")),
      calendar_(std::move(environment.calendar)),
      customFleas_(environment.customFleas),
      surfaceSignatureToast_(std::move(environment.surfaceSignatureToast)),
      executorFactory_(std::move(environment.makeExecutor)),
      lifeline_(std::make_shared<Lifeline>(Lifeline{this})),
      telemetry_(environment.telemetry ? *environment.telemetry : noTelemetry()),
      agentScheduler_(
          true, std::move(environment.stringHash),
          [this](const std::string& fleaName, const std::string& intent, bool isInitiative, Date at) {
              if (sharedStore_)
                  sharedStore_->recordAgentDecision(fleaName, intent, isInitiative, at, calendar_);
          },
          telemetry_),
      stageStateStore_(telemetry_),
      dialogueCache_(std::make_shared<DialogueCache>(environment.cacheDiskURL, clock_, makeExecutor())),
      lastUserInteractionAt_(clock_.now()),
      decisionLog_(std::make_unique<AgentDecisionLog>(makeExecutor())),
      channelStore_(std::make_unique<DialogueChannelStore>(makeExecutor())),
      narrativeEngine_(
          clock_, calendar_,
          [this](const std::string& line, const std::string& fleaName, Date at, const Calendar& calendar) {
              if (sharedStore_) sharedStore_->recordAgentThought(line, fleaName, at, calendar);
          }),
      diaryRandom_(std::random_device{}()) {
    if (environment.sharedSuite) sharedStore_.emplace(*environment.sharedSuite);

    // The model speaks only when a model server is named; otherwise the templates do.
    std::shared_ptr<FleaDialogueGenerator> llm;
    if (environment.makeLanguageModel) {
        if (const auto baseUrl = HttpLanguageModel::baseUrlFromEnvironment()) {
            if (auto model = environment.makeLanguageModel(*baseUrl)) {
                llm = LLMDialogueGenerator::create(std::move(model), standardDefaults_, makeExecutor());
                log::info("Dialogue: lines come from the model server at " + *baseUrl);
            }
        }
    }
    hasLanguageModel_ = llm != nullptr;
    auto templates = std::make_shared<TemplateDialogueGenerator>(processStringHashFunction(), makeExecutor());
    dialogueRouter_ = std::make_unique<FleaDialogueRouter>(
        std::move(llm), std::move(templates), dialogueCache_, clock_, telemetry_, false, makeExecutor());
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

std::unique_ptr<SerialExecutor> TumblewickAgentHost::makeExecutor() const {
    if (executorFactory_) return executorFactory_();
    return std::make_unique<ThreadSerialExecutor>();
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
        agentScheduler_.registerFlea(name, agent_host::plainVoiceCard(name));
        memoriesHandedOver_.erase(name);
        stageStateStore_.registerFlea(name, std::string(resident.act));
    }
    ++stageRevision_;
}

void TumblewickAgentHost::registerCustomFleasIfNeeded() {
    const std::vector<RosterFlea> fleas =
        customFleas_ ? customFleas_->customFleas() : std::vector<RosterFlea>{};
    std::set<Uuid> current;
    for (const auto& flea : fleas) {
        current.insert(flea.id);
        if (registeredCustomFleaIDs_.count(flea.id)) continue;
        // The card is built once: a later rename or level reaches the agent next run.
        const std::string fleaID = flea.id.uuidString();
        agentScheduler_.registerFlea(fleaID, agent_host::customFleaVoiceCard(flea));
        memoriesHandedOver_.erase(fleaID);  // registered with none: hand them over again
        stageStateStore_.registerFlea(fleaID, agent_host::normalisedAct(flea.discoveredAct));
        registeredCustomFleaIDs_.insert(flea.id);
    }
    // A deleted flea leaves the scheduler; its stage state stays where it was.
    for (auto it = registeredCustomFleaIDs_.begin(); it != registeredCustomFleaIDs_.end();) {
        if (current.count(*it)) {
            ++it;
            continue;
        }
        agentScheduler_.unregisterFlea(it->uuidString());
        it = registeredCustomFleaIDs_.erase(it);
    }
    ++stageRevision_;
}

// ---------------------------------------------------------------- the stage's inputs

void TumblewickAgentHost::attendFlea(std::optional<std::string> fleaID) {
    attendedFleaID_ = std::move(fleaID);
    lastUserInteractionAt_ = clock_.now();
    autoSpotlightActive_ = false;
}

void TumblewickAgentHost::noteUserInteraction() {
    lastUserInteractionAt_ = clock_.now();
    autoSpotlightActive_ = false;
}

void TumblewickAgentHost::setEnergyFraction(double fraction) {
    currentEnergyFraction_ = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
}

TumblewickAgentHost::PlayerActionDecision TumblewickAgentHost::requestPlayerAction(
    const std::string& fleaID, const std::string& actionID, bool overrideRefusal) {
    const Date now = clock_.now();
    PlayerActionDecision decision =
        stageStateStore_.requestPlayerAction(fleaID, actionID, overrideRefusal, now);
    if (decision.isRefusal()) refusalFlickerUntil_[fleaID] = now.adding(refusalFlickerSeconds);
    ++stageRevision_;
    return decision;
}

bool TumblewickAgentHost::currentRefusalFlicker(const std::string& fleaID, Date now) const {
    const auto it = refusalFlickerUntil_.find(fleaID);
    return it != refusalFlickerUntil_.end() && it->second > now;
}

std::optional<std::string> TumblewickAgentHost::currentLineForFlea(const std::string& fleaID,
                                                                   Date now) const {
    const auto line = lineByFlea_.find(fleaID);
    if (line == lineByFlea_.end()) return std::nullopt;
    const auto updated = lineUpdatedAtByFlea_.find(fleaID);
    if (updated == lineUpdatedAtByFlea_.end()) return std::nullopt;
    if (now.since(updated->second) < lineShownSeconds) return line->second;
    return std::nullopt;
}

bool TumblewickAgentHost::autoSpotlightEnabled() {
    if (!autoSpotlightEnabled_) {
        const auto stored = standardDefaults_.object(settings::autoSpotlight.key);
        const bool* flag = stored ? std::get_if<bool>(&*stored) : nullptr;
        autoSpotlightEnabled_ = flag ? *flag : settings::autoSpotlight.fallback;
    }
    return *autoSpotlightEnabled_;
}

void TumblewickAgentHost::setAutoSpotlightEnabled(bool enabled) {
    autoSpotlightEnabled_ = enabled;
    if (!enabled && autoSpotlightActive_) {
        attendedFleaID_.reset();
        autoSpotlightActive_ = false;
    }
}

// ---------------------------------------------------------------- feeds and counts

void TumblewickAgentHost::recordRecentLine(RecentLine line) {
    agent_host::appendCapped(recentLines_, std::move(line), maxRecentLines);
}

void TumblewickAgentHost::recordDialogueDebug(DialogueDebugEntry entry) {
    agent_host::appendCapped(dialogueDebug_, std::move(entry), maxDialogueDebugEntries);
}

std::int64_t TumblewickAgentHost::decisionsInLast(double seconds, Date now) const {
    return agent_host::linesInLast(recentLines_, seconds, now);
}

std::vector<std::int64_t> TumblewickAgentHost::decisionsByMinute(int minutes, Date now) const {
    return agent_host::linesByMinute(recentLines_, minutes, now);
}

TumblewickAgentHost::DayStats TumblewickAgentHost::todayStats(Date) const {
    return agent_host::dayStats(recentLines_);
}

MemoriesByTier TumblewickAgentHost::memoriesByTier(const std::string& fleaID) const {
    const auto it = memoriesByFlea_.find(fleaID);
    if (it == memoriesByFlea_.end()) return {};
    return agent_host::memoriesByTier(it->second);
}

}  // namespace tw
