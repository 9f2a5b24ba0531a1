#pragma once
// The newest 4096 decisions the agent host took, in memory only. A serialized
// service: every operation runs on the log's own executor, one at a time, in the
// order called; completions run there too (callers with state hop back themselves).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "agent/host/agent_decision.h"
#include "platform/calendar.h"
#include "platform/serial_executor.h"

namespace tw {

class AgentDecisionLog {
   public:
    static constexpr std::size_t maxEntries = 4096;
    static constexpr int windowDays = 7;

    using Decisions = std::vector<AgentDecision>;

    explicit AgentDecisionLog(
        std::unique_ptr<SerialExecutor> executor = std::make_unique<ThreadSerialExecutor>());
    ~AgentDecisionLog();
    AgentDecisionLog(const AgentDecisionLog&) = delete;
    AgentDecisionLog& operator=(const AgentDecisionLog&) = delete;

    // Appends the decision at its action's base charge; the oldest go beyond 4096.
    void record(std::string flea_id, AgentIntent intent, Date at, std::function<void(Uuid)> done = {});
    // Sets the outcome of a logged decision and recomputes its charge; an id not in
    // the log (never logged or already evicted) changes nothing.
    void attachOutcome(Uuid decisionID, double outcomeImportance,
                       std::optional<AgentDialogueGenerator> dialogueSource, std::function<void()> done = {});
    // Every decision at or after now - days × 24 h, in log order (later ones included).
    void decisionsInWindow(Date now, int days, std::function<void(Decisions)> done);
    // The decisions of the calendar day `dayIndex` days after the one holding
    // `startDate`; empty when that day lies outside years 1 to 9999.
    void decisionsForDay(Date startDate, std::int64_t dayIndex, Calendar calendar,
                         std::function<void(Decisions)> done);
    void count(std::function<void(std::size_t)> done);
    void clear(std::function<void()> done = {});

    // The same queries on a list held by the caller (the log runs them on its executor).
    static Decisions inWindow(const std::deque<AgentDecision>& entries, Date now, int days);
    static Decisions forDay(const std::deque<AgentDecision>& entries, Date startDate, std::int64_t dayIndex,
                            const Calendar& calendar);

   private:
    std::deque<AgentDecision> entries_;         // oldest first
    std::unique_ptr<SerialExecutor> executor_;  // last: drained before the state goes
};

}  // namespace tw
