#pragma once
// The owner of the agent loop, on the main thread: it seeds the seven resident fleas,
// registers the user's custom fleas as agents, runs the half-second tick (world,
// spotlight, memories, the scheduler's decisions carried through the stage, the
// decision log, the narrative engine, custom-flea XP and the dialogue pipeline), and
// keeps the in-memory records the strip, the windows and the exports read.
//
// Everything here is main-thread only. Dialogue lines are made on the dialogue
// services' own executors and written back through the main queue; nothing here ever
// waits for them, so a model server that hangs stalls no tick, frame or quit.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/flea_agent_scheduler.h"
#include "agent/flea_stage_state_store.h"
#include "agent/host/agent_activity.h"
#include "agent/host/agent_decision_log.h"
#include "agent/host/custom_flea_agents.h"
#include "agent/host/custom_flea_roster.h"
#include "agent/host/diary_picker.h"
#include "agent/host/flea_memories.h"
#include "agent/host/line_feed.h"
#include "agent/host/shared_store.h"
#include "agent/host/spotlight.h"
#include "dialogue/dialogue_cache.h"
#include "dialogue/dialogue_channel_store.h"
#include "dialogue/flea_dialogue_router.h"
#include "platform/calendar.h"
#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/language_model.h"
#include "platform/main_queue.h"
#include "platform/serial_executor.h"
#include "platform/string_hash.h"
#include "platform/telemetry_sink.h"

namespace tw {

class TumblewickAgentHost final {
   public:
    using RecentLine = agent_host::RecentLine;
    using DialogueDebugEntry = agent_host::DialogueDebugEntry;
    using DayStats = agent_host::DayStats;
    using Bond = agent_host::Bond;
    using PlayerActionDecision = FleaStageStateStore::PlayerActionDecision;

    // Raised after a flea's signature move, once its line has arrived.
    using SignatureToast =
        std::function<void(const std::string& flea, const std::string& actionRaw, const std::string& line)>;
    // Makes the client of the model server named by TUMBLEWICK_MODEL_URL.
    using LanguageModelFactory = std::function<std::shared_ptr<LanguageModel>(const std::string& baseUrl)>;

    // What the host is built with. The pointers must outlive the host.
    struct Environment {
        MainQueue* mainQueue = nullptr;           // required: timers and the return of every line
        const Clock* clock = nullptr;             // required
        Defaults* standardDefaults = nullptr;     // required: the auto-spotlight setting, the model's guard
        Calendar calendar{};                      // the user's: time of day, the pulse's day
        Defaults* sharedSuite = nullptr;          // the agent pulse's suite; none keeps no pulse
        CustomFleaRoster* customFleas = nullptr;  // none: residents only
        std::optional<std::filesystem::path> cacheDiskURL{};  // none: the cache lives in memory
        LanguageModelFactory makeLanguageModel{};
        SignatureToast surfaceSignatureToast{};
        TelemetrySink* telemetry = nullptr;  // usage events; none: not reported
        // Executors of the dialogue services and the decision log (default: a thread each).
        std::function<std::unique_ptr<SerialExecutor>()> makeExecutor{};
        StringHashFunction stringHash{};  // the scheduler's; empty: the process's salted hash
    };

    static constexpr std::size_t maxRecentLines = agent_host::LineFeed::maxRecentLines;
    static constexpr std::size_t maxDialogueDebugEntries = agent_host::LineFeed::maxDialogueDebugEntries;
    static constexpr std::size_t maxMemoriesPerFlea = agent_host::FleaMemories::maxPerFlea;
    static constexpr double tickSeconds = 0.5;
    static constexpr double registrationSeconds = 3.0;
    static constexpr double diarySeconds = 600.0;
    static constexpr double firstDiaryDelaySeconds = 30.0;
    static constexpr double lineShownSeconds = agent_host::LineFeed::lineShownSeconds;
    static constexpr double refusalFlickerSeconds = agent_host::LineFeed::refusalFlickerSeconds;
    static constexpr double autoSpotlightIdleSeconds = agent_host::Spotlight::autoIdleSeconds;
    static constexpr double autoSpotlightRotateSeconds = agent_host::Spotlight::autoRotateSeconds;
    static constexpr double customXPSpacingSeconds = agent_host::CustomFleaAgents::xpSpacingSeconds;
    static constexpr const char* cacheFileName = "DialogueCache.json";

    // The process-wide host, owned by the app and installed while it lives (nullptr
    // uninstalls). shared() throws std::logic_error when none is installed.
    static void installShared(TumblewickAgentHost* host);
    static TumblewickAgentHost& shared();
    // "<data directory>/DialogueCache.json", creating the directory (a failure is ignored).
    static std::optional<std::filesystem::path> defaultCacheDiskURL();

    // Builds the services; registers no flea and starts no timer.
    explicit TumblewickAgentHost(Environment environment);
    ~TumblewickAgentHost();
    TumblewickAgentHost(const TumblewickAgentHost&) = delete;
    TumblewickAgentHost& operator=(const TumblewickAgentHost&) = delete;

    // Seeds the residents (once), registers the custom fleas, and starts the 0.5 s
    // tick, the 3 s re-registration, the 600 s diary line and the first diary line at
    // 30 s. A second call replaces the tick timer and adds the other three again.
    void start();
    // Stops the tick only; re-registration and diary lines go on.
    void stop();
    // For quitting: cancels every timer and drops every answer still on its way, so
    // nothing waits for a request that may never end. The host stays readable.
    void shutdown();

    // ---- owned services and records (read by the stage, windows and exports)
    FleaAgentScheduler& agentScheduler() { return agentScheduler_; }
    const FleaAgentScheduler& agentScheduler() const { return agentScheduler_; }
    FleaStageStateStore& stageStateStore() { return stageStateStore_; }
    const FleaStageStateStore& stageStateStore() const { return stageStateStore_; }
    DialogueCache& dialogueCache() { return *dialogueCache_; }
    FleaDialogueRouter& dialogueRouter() { return *dialogueRouter_; }
    DialogueChannelStore& channelStore() { return *channelStore_; }
    AgentDecisionLog& decisionLog() { return *decisionLog_; }
    // Oldest first, newest last; at most 50 and 100.
    const std::vector<RecentLine>& recentLines() const { return lineFeed_.recentLines(); }
    const std::vector<DialogueDebugEntry>& dialogueDebug() const { return lineFeed_.dialogueDebug(); }
    const std::optional<std::string>& attendedFleaID() const { return spotlight_.attended(); }
    double currentEnergyFraction() const { return currentEnergyFraction_; }
    bool autoSpotlightActive() const { return spotlight_.autoActive(); }
    Date lastUserInteractionAt() const { return spotlight_.lastUserInteractionAt(); }
    bool hasLanguageModel() const { return hasLanguageModel_; }

    // ---- what the stage feeds in and reads back
    // Changes whenever the scheduler's diagnostics or the stage states may have (a tick,
    // a registration, a player's request), so a frame can skip reading them again.
    std::uint64_t stageRevision() const { return stageRevision_; }
    // Spotlights a flea (none clears it); every call counts as a user interaction.
    void attendFlea(std::optional<std::string> fleaID) { spotlight_.attend(std::move(fleaID), clock_.now()); }
    // A click on the strip: restarts the idle wait; the spotlight stays.
    void noteUserInteraction() { spotlight_.noteUserInteraction(clock_.now()); }
    // Clamped to 0...1 (NaN reads as 0); the next tick's world carries it.
    void setEnergyFraction(double fraction);
    PlayerActionDecision requestPlayerAction(const std::string& fleaID, const std::string& actionID,
                                             bool overrideRefusal = false);
    bool currentRefusalFlicker(const std::string& fleaID, Date now) const {
        return lineFeed_.refusalFlickers(fleaID, now);
    }
    // The flea's latest line while it is less than 4 s old.
    std::optional<std::string> currentLineForFlea(const std::string& fleaID, Date now) const {
        return lineFeed_.currentLineForFlea(fleaID, now);
    }
    // Read from the defaults once (a stored Boolean, else true), then cached.
    bool autoSpotlightEnabled() { return spotlight_.enabled(); }
    // Caches the value (the settings panel writes the defaults); switching off clears
    // a spotlight the host chose, never one the user chose.
    void setAutoSpotlightEnabled(bool enabled) { spotlight_.setEnabled(enabled); }

    // ---- feeds and counts
    void recordRecentLine(RecentLine line) { lineFeed_.recordRecentLine(std::move(line)); }
    void recordDialogueDebug(DialogueDebugEntry entry) { lineFeed_.recordDialogueDebug(std::move(entry)); }
    // Lines (diary lines too) at most `seconds` old; lines stamped later count too.
    std::int64_t decisionsInLast(double seconds, Date now) const {
        return lineFeed_.decisionsInLast(seconds, now);
    }
    std::int64_t decisionsInLast(double seconds) const { return decisionsInLast(seconds, clock_.now()); }
    std::vector<std::int64_t> decisionsByMinute(int minutes, Date now) const {
        return lineFeed_.decisionsByMinute(minutes, now);
    }
    std::vector<std::int64_t> decisionsByMinute(int minutes = 60) const {
        return decisionsByMinute(minutes, clock_.now());
    }
    // Over every line still in the feed: `now` is not consulted.
    DayStats todayStats(Date) const { return lineFeed_.todayStats(); }
    DayStats todayStats() const { return todayStats(clock_.now()); }
    // The flea's most frequent partners over the log's seven days, delivered on the
    // main thread (dropped after shutdown()).
    void topBonds(const std::string& fleaID, int limit, std::function<void(std::vector<Bond>)> done);

    // The flea's memories split by position: last 3, the 5 before, older.
    MemoriesByTier memoriesByTier(const std::string& fleaID) const { return memories_.byTier(fleaID); }

   private:
    // Late answers check this before they touch the host: cleared by shutdown() and
    // by the destructor. Main thread only.
    struct Lifeline {
        TumblewickAgentHost* host = nullptr;
    };

    void seedResidents();
    void registerCustomFleasIfNeeded();
    // Registers a flea with the scheduler (with no memories) and the stage.
    void enrol(const std::string& fleaID, VoiceCard card, std::string act);
    void tick(Date now);
    void generateDialogueIfInteresting(const FleaAgentScheduler::PendingTick& pending, Date now);
    void deliverLine(const FleaAgentScheduler::PendingTick& pending, const std::string& outcomeKind,
                     const FleaDialogueResult& result, Date startedAt);
    void generateDiaryLine();
    void deliverDiaryLine(const std::string& fleaName, const FleaDialogueResult& result);
    // Runs `work` on the main thread when the host is still there by then.
    std::function<void(FleaDialogueResult)> onMainThread(
        std::function<void(TumblewickAgentHost&, FleaDialogueResult)> work);

    MainQueue& mainQueue_;
    const Clock& clock_;
    // Reads the standard defaults: built here so they are checked right after the clock.
    agent_host::Spotlight spotlight_;
    Calendar calendar_;
    std::optional<SharedStore> sharedStore_;
    SignatureToast surfaceSignatureToast_;
    std::shared_ptr<Lifeline> lifeline_;

    // Services in order of creation; the destructor ends those with executors in reverse.
    FleaAgentScheduler agentScheduler_;
    FleaStageStateStore stageStateStore_;
    std::shared_ptr<DialogueCache> dialogueCache_;
    std::unique_ptr<AgentDecisionLog> decisionLog_;
    std::unique_ptr<DialogueChannelStore> channelStore_;
    std::unique_ptr<FleaDialogueRouter> dialogueRouter_;
    bool hasLanguageModel_ = false;

    std::optional<TaskId> tickTimer_;
    std::vector<TaskId> otherTimers_;  // re-registration, diary, first diary line
    bool didSeed_ = false;
    std::uint64_t stageRevision_ = 0;
    double currentEnergyFraction_ = 0.5;

    agent_host::LineFeed lineFeed_;
    agent_host::FleaMemories memories_;
    agent_host::CustomFleaAgents customFleaAgents_;
    agent_host::DiaryPicker diary_;
};

}  // namespace tw
