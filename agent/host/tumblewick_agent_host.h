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
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "agent/flea_agent_scheduler.h"
#include "agent/flea_stage_state_store.h"
#include "agent/host/agent_activity.h"
#include "agent/host/agent_decision_log.h"
#include "agent/host/custom_flea_roster.h"
#include "agent/host/shared_store.h"
#include "dialogue/dialogue_cache.h"
#include "dialogue/dialogue_channel_store.h"
#include "dialogue/flea_dialogue_router.h"
#include "narrative/flea_narrative_engine.h"
#include "narrative/flea_narrative_state.h"
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

    static constexpr std::size_t maxRecentLines = 50;
    static constexpr std::size_t maxDialogueDebugEntries = 100;
    static constexpr std::size_t maxMemoriesPerFlea = 12;
    static constexpr double tickSeconds = 0.5;
    static constexpr double registrationSeconds = 3.0;
    static constexpr double diarySeconds = 600.0;
    static constexpr double firstDiaryDelaySeconds = 30.0;
    static constexpr double lineShownSeconds = 4.0;
    static constexpr double refusalFlickerSeconds = 2.0;
    static constexpr double autoSpotlightIdleSeconds = 30.0;
    static constexpr double autoSpotlightRotateSeconds = 8.0;
    static constexpr double customXPSpacingSeconds = 5.0;
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
    const std::vector<RecentLine>& recentLines() const { return recentLines_; }
    const std::vector<DialogueDebugEntry>& dialogueDebug() const { return dialogueDebug_; }
    const std::optional<std::string>& attendedFleaID() const { return attendedFleaID_; }
    double currentEnergyFraction() const { return currentEnergyFraction_; }
    bool autoSpotlightActive() const { return autoSpotlightActive_; }
    Date lastUserInteractionAt() const { return lastUserInteractionAt_; }
    bool hasLanguageModel() const { return hasLanguageModel_; }

    // ---- what the stage feeds in and reads back
    // Changes whenever the scheduler's diagnostics or the stage states may have (a tick,
    // a registration, a player's request), so a frame can skip reading them again.
    std::uint64_t stageRevision() const { return stageRevision_; }
    // Spotlights a flea (none clears it); every call counts as a user interaction.
    void attendFlea(std::optional<std::string> fleaID);
    // A click on the strip: restarts the idle wait; the spotlight stays.
    void noteUserInteraction();
    // Clamped to 0...1 (NaN reads as 0); the next tick's world carries it.
    void setEnergyFraction(double fraction);
    PlayerActionDecision requestPlayerAction(const std::string& fleaID, const std::string& actionID,
                                             bool overrideRefusal = false);
    bool currentRefusalFlicker(const std::string& fleaID, Date now) const;
    // The flea's latest line while it is less than 4 s old.
    std::optional<std::string> currentLineForFlea(const std::string& fleaID, Date now) const;
    // Read from the defaults once (a stored Boolean, else true), then cached.
    bool autoSpotlightEnabled();
    // Caches the value (the settings panel writes the defaults); switching off clears
    // a spotlight the host chose, never one the user chose.
    void setAutoSpotlightEnabled(bool enabled);

    // ---- feeds and counts
    void recordRecentLine(RecentLine line);
    void recordDialogueDebug(DialogueDebugEntry entry);
    // Lines (diary lines too) at most `seconds` old; lines stamped later count too.
    std::int64_t decisionsInLast(double seconds, Date now) const;
    std::int64_t decisionsInLast(double seconds) const { return decisionsInLast(seconds, clock_.now()); }
    std::vector<std::int64_t> decisionsByMinute(int minutes, Date now) const;
    std::vector<std::int64_t> decisionsByMinute(int minutes = 60) const {
        return decisionsByMinute(minutes, clock_.now());
    }
    // Over every line still in the feed: `now` is not consulted.
    DayStats todayStats(Date now) const;
    DayStats todayStats() const { return todayStats(clock_.now()); }
    // The flea's most frequent partners over the log's seven days, delivered on the
    // main thread (dropped after shutdown()).
    void topBonds(const std::string& fleaID, int limit, std::function<void(std::vector<Bond>)> done);

    // The flea's memories split by position: last 3, the 5 before, older.
    MemoriesByTier memoriesByTier(const std::string& fleaID) const;

   private:
    // Late answers check this before they touch the host: cleared by shutdown() and
    // by the destructor. Main thread only.
    struct Lifeline {
        TumblewickAgentHost* host = nullptr;
    };

    std::unique_ptr<SerialExecutor> makeExecutor() const;
    void seedResidents();
    void registerCustomFleasIfNeeded();
    void tick(Date now);
    std::optional<std::string> pickAutoSpotlightFlea(Date now) const;
    void awardCustomFleaXPIfApplicable(const std::string& fleaID, AgentAction action);
    void recordMemory(const std::string& fleaID, AgentAction action);
    void runNarrativeEngine(const std::string& fleaID, AgentAction action, Date now);
    void appendMemory(const std::string& fleaID, AgentMemory memory);
    void generateDialogueIfInteresting(const FleaAgentScheduler::PendingTick& pending, Date now);
    void deliverLine(const FleaAgentScheduler::PendingTick& pending, const std::string& outcomeKind,
                     const FleaDialogueResult& result, Date startedAt);
    void generateDiaryLine();
    void deliverDiaryLine(const std::string& fleaName, const FleaDialogueResult& result);
    bool isAttended(const std::string& fleaID) const { return attendedFleaID_ && *attendedFleaID_ == fleaID; }
    // Runs `work` on the main thread when the host is still there by then.
    std::function<void(FleaDialogueResult)> onMainThread(
        std::function<void(TumblewickAgentHost&, FleaDialogueResult)> work);

    MainQueue& mainQueue_;
    const Clock& clock_;
    Defaults& standardDefaults_;
    Calendar calendar_;
    std::optional<SharedStore> sharedStore_;
    CustomFleaRoster* customFleas_;
    SignatureToast surfaceSignatureToast_;
    std::function<std::unique_ptr<SerialExecutor>()> executorFactory_;
    std::shared_ptr<Lifeline> lifeline_;
    TelemetrySink& telemetry_;

    FleaAgentScheduler agentScheduler_;
    FleaStageStateStore stageStateStore_;
    std::shared_ptr<DialogueCache> dialogueCache_;
    std::unique_ptr<FleaDialogueRouter> dialogueRouter_;
    bool hasLanguageModel_ = false;
    std::map<std::string, std::string> lineByFlea_;
    std::map<std::string, Date> lineUpdatedAtByFlea_;
    std::optional<TaskId> tickTimer_;
    std::vector<TaskId> otherTimers_;  // re-registration, diary, first diary line
    bool didSeed_ = false;
    std::uint64_t stageRevision_ = 0;
    std::optional<std::string> attendedFleaID_;
    Date lastUserInteractionAt_;
    bool autoSpotlightActive_ = false;
    Date autoSpotlightLastRotate_ = FleaAgentScheduler::distantPast;
    std::optional<bool> autoSpotlightEnabled_;
    double currentEnergyFraction_ = 0.5;
    std::unique_ptr<AgentDecisionLog> decisionLog_;
    std::unique_ptr<DialogueChannelStore> channelStore_;
    std::map<std::string, std::vector<AgentMemory>> memoriesByFlea_;
    std::set<std::string> memoriesHandedOver_;  // the scheduler holds their current lists
    FleaNarrativeState narrativeState_;
    FleaNarrativeEngine narrativeEngine_;
    std::vector<RecentLine> recentLines_;
    std::vector<DialogueDebugEntry> dialogueDebug_;
    std::map<std::string, Date> refusalFlickerUntil_;
    std::set<Uuid> registeredCustomFleaIDs_;
    std::map<Uuid, Date> lastCustomXPAwardAt_;
    std::mt19937_64 diaryRandom_;
};

}  // namespace tw
