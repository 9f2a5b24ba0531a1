#pragma once
// The attention scheduler: keeps each flea's voice card, mood, memories and recent
// intents, and on every step lets the (at most two) fleas with the most attention
// decide. Main thread only; it owns no timer: the agent host calls step(now).
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_records.h"
#include "platform/calendar.h"
#include "platform/date.h"
#include "platform/string_hash.h"
#include "platform/telemetry_sink.h"

namespace tw {

enum class FleaAgentSchedulerEventKind {
    player_attention,
    beat_surface,
    arc_day_rollover,
    notification_open
};

template <>
struct RawEnumCases<FleaAgentSchedulerEventKind> {
    static constexpr std::array<std::pair<FleaAgentSchedulerEventKind, std::string_view>, 4> table{{
        {FleaAgentSchedulerEventKind::player_attention, "player_attention"},
        {FleaAgentSchedulerEventKind::beat_surface, "beat_surface"},
        {FleaAgentSchedulerEventKind::arc_day_rollover, "arc_day_rollover"},
        {FleaAgentSchedulerEventKind::notification_open, "notification_open"},
    }};
};

class FleaAgentScheduler final {
   public:
    using EventKind = FleaAgentSchedulerEventKind;

    // Counts one decision into the day's activity pulse (the agent host binds it to
    // SharedStore::recordAgentDecision with its suite and calendar).
    using DecisionRecorder = std::function<void(const std::string& fleaName, const std::string& intent,
                                                bool isInitiative, Date at)>;

    struct PendingTick {
        std::string flea_id{};
        AgentIntent intent{};
        Date scored_at{};
        friend bool operator==(const PendingTick&, const PendingTick&) = default;
    };

    struct DiagnosticEntry {
        std::string flea_id{};
        Date last_tick_at{};
        double attention_weight = 0;
        std::vector<std::string> recent_intent_actions{};  // oldest first, at most 8
        MoodDimensions mood{};
        friend bool operator==(const DiagnosticEntry&, const DiagnosticEntry&) = default;
    };

    static constexpr int maxTicksPerStep = 2;
    static constexpr double stepIntervalSeconds = 0.5;
    // Steps closer than this to the last one that ran are refused.
    static constexpr double minStepGapSeconds = 0.45;
    // The longest gap over which moods relax in one step.
    static constexpr double maxRelaxSeconds = 60.0;
    // A decision halves a flea's weight; one halved below this counts as none. Weights are
    // compared exactly, so a leftover of a long-past boost would otherwise keep that flea
    // ahead of every flea at 0 for some thousand decisions: the fleas the user touched
    // would hold both slots for the rest of the session. Below the smallest boost (0.12, a
    // broadcast event), so each boost still counts for a few decisions.
    static constexpr double attentionFloor = 0.05;
    // 0001-01-01T00:00:00Z: "never".
    static constexpr Date distantPast{-63113904000.0};

    static double weight(EventKind kind);

    // The feature-flag override is accepted for the host's sake and not used. An empty
    // hash means the process's salted string hash. `telemetry` must outlive the scheduler.
    explicit FleaAgentScheduler(std::optional<bool> featureFlagOverride = std::nullopt,
                                StringHashFunction stringHash = {}, DecisionRecorder recordDecision = {},
                                TelemetrySink& telemetry = noTelemetry());

    void registerFlea(const std::string& flea_id, VoiceCard voice_card, MoodDimensions mood = {},
                      MemoriesByTier memories = {});
    void unregisterFlea(const std::string& flea_id);
    void setMood(const MoodDimensions& mood, const std::string& flea_id);
    void setMemories(const MemoriesByTier& memories, const std::string& flea_id);
    void updateStage(const StageState& stage);
    void updateWorld(const WorldSnapshot& world);

    std::optional<std::string> spotlightFleaID{};
    std::optional<std::uint64_t> seedOverride{};

    bool promoteForBill(const std::string& flea_id, Date now, const Calendar& calendar = Calendar());
    void clearPromoted();
    void clearPromotedIfMidnightPassed(Date now, const Calendar& calendar = Calendar());
    const std::optional<std::string>& currentlyPromotedFleaID() const { return promotedFleaID_; }

    void recordEvent(EventKind kind, const std::optional<std::string>& target_flea_id);

    std::vector<PendingTick> step(Date now);
    std::vector<DiagnosticEntry> diagnostics() const;

    // Read-only views for the host and tests.
    bool isRegistered(const std::string& flea_id) const { return slots_.count(flea_id) != 0; }
    std::optional<double> attentionWeight(const std::string& flea_id) const;
    std::optional<MoodDimensions> mood(const std::string& flea_id) const;
    std::uint64_t tickCounter() const { return tickCounter_; }
    Date lastStepAt() const { return lastStepAt_; }

   private:
    struct Slot {
        std::string flea_id{};
        // The flea's next decision input: its voice card, mood, memories and recent
        // intents (oldest first, at most 8) are kept here; the world and the stage are
        // copied in when it is picked.
        AgentInput input{};
        Date last_tick_at = distantPast;
        double attention_weight = 0.0;
    };

    std::vector<Slot*> pickFleas();
    std::uint64_t fleaHash(const std::string& flea_id) const;

    std::map<std::string, Slot> slots_{};
    StageState stageState_{};
    WorldSnapshot worldSnapshot_{};
    Date lastStepAt_ = distantPast;
    std::uint64_t tickCounter_ = 0;
    Date lastDecisionTelemetryAt_ = distantPast;
    std::optional<std::string> promotedFleaID_{};
    std::optional<Date> promotedSinceDayStart_{};
    StringHashFunction stringHash_;
    DecisionRecorder recordDecision_;
    TelemetrySink& telemetry_;
};

}  // namespace tw
