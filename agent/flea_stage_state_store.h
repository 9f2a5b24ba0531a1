#pragma once
// The in-memory stage states of all fleas, plus the arbitration of the player's
// requests while a flea is refusing. Main thread only; nothing is persisted.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "agent/flea_agent_scheduler.h"
#include "agent/flea_stage_state.h"
#include "platform/date.h"
#include "platform/telemetry_sink.h"

namespace tw {

class FleaStageStateStore final {
   public:
    struct PlayerActionDecision {
        enum class Kind { refused, accepted, acceptedViaOverride };
        Kind kind = Kind::accepted;
        std::string reason;  // only for refused

        static PlayerActionDecision refused(std::string reason) { return {Kind::refused, std::move(reason)}; }
        static PlayerActionDecision accepted() { return {Kind::accepted, {}}; }
        static PlayerActionDecision acceptedViaOverride() { return {Kind::acceptedViaOverride, {}}; }
        bool isRefusal() const { return kind == Kind::refused; }

        friend bool operator==(const PlayerActionDecision&, const PlayerActionDecision&) = default;
    };

    // 64-bit so that no amount of clicking can overflow them.
    struct PlayerActionStats {
        std::int64_t attempts = 0;
        std::int64_t refusalsServed = 0;
        std::int64_t overrides = 0;
        friend bool operator==(const PlayerActionStats&, const PlayerActionStats&) = default;
    };

    static constexpr const char* refusalReason =
        "in-character refusal \u2014 player can long-press to override";
    // The k-th refusal a flea serves needs 8 × k counted requests.
    static constexpr std::int64_t requestsPerRefusal = 8;

    // A refused request is reported to `telemetry`, which must outlive the store.
    explicit FleaStageStateStore(TelemetrySink& telemetry = noTelemetry()) : telemetry_(telemetry) {}

    void registerFlea(const std::string& flea_id, const std::string& assigned_act);
    void unregisterFlea(const std::string& flea_id);
    std::optional<FleaStageState> state(const std::string& flea_id) const;

    void apply(const FleaAgentScheduler::PendingTick& pending, Date now);
    void tickFrame(Date now);
    std::vector<FleaStageState> allStates() const;  // by flea_id

    bool shouldBlockPlayerAction(const std::string& flea_id, Date now);
    PlayerActionDecision requestPlayerAction(const std::string& flea_id, const std::string& actionID,
                                             bool overrideRefusal, Date now);
    void resetRefusalCounters();
    PlayerActionStats playerActionStats(const std::string& flea_id) const;

   private:
    TelemetrySink& telemetry_;
    std::map<std::string, FleaStageState> states_;
    std::map<std::string, std::int64_t> playerActionsByFleaID_;
    std::map<std::string, std::int64_t> refusalsServedByFleaID_;
    std::map<std::string, std::int64_t> overrideCountByFleaID_;
};

}  // namespace tw
