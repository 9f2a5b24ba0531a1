#include "agent/host/agent_decision_log.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {

// Days the calendar can name: years 0001 to 9999, as the rest of the app's dates.
constexpr double kEarliestDay = -63'114'076'800.0;  // 0001-01-01
constexpr double kLatestDay = 252'423'993'600.0;    // 9999-12-31

bool formable(double seconds) {
    return std::isfinite(seconds) && seconds >= kEarliestDay && seconds <= kLatestDay;
}

}  // namespace

AgentDecisionLog::AgentDecisionLog(std::unique_ptr<SerialExecutor> executor)
    : executor_(std::move(executor)) {}

AgentDecisionLog::~AgentDecisionLog() { executor_->drain(); }

void AgentDecisionLog::record(std::string flea_id, AgentIntent intent, Date at,
                              std::function<void(Uuid)> done) {
    executor_->execute([this, flea_id = std::move(flea_id), intent = std::move(intent), at,
                        done = std::move(done)]() mutable {
        AgentDecision decision;
        decision.flea_id = std::move(flea_id);
        decision.intent = std::move(intent);
        decision.decided_at = at;
        decision.narrative_charge = AgentDecision::baseCharge(decision.intent.action);
        const Uuid id = decision.id;
        entries_.push_back(std::move(decision));
        while (entries_.size() > maxEntries) entries_.pop_front();
        if (done) done(id);
    });
}

void AgentDecisionLog::attachOutcome(Uuid decisionID, double outcomeImportance,
                                     std::optional<AgentDialogueGenerator> dialogueSource,
                                     std::function<void()> done) {
    executor_->execute([this, decisionID, outcomeImportance, dialogueSource, done = std::move(done)] {
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const AgentDecision& d) { return d.id == decisionID; });
        if (it != entries_.end()) {
            it->outcome_importance = outcomeImportance;
            it->dialogue_source = dialogueSource;
            it->recomputeCharge();
        }
        if (done) done();
    });
}

void AgentDecisionLog::decisionsInWindow(Date now, int days, std::function<void(Decisions)> done) {
    executor_->execute([this, now, days, done = std::move(done)] { done(inWindow(entries_, now, days)); });
}

void AgentDecisionLog::decisionsForDay(Date startDate, std::int64_t dayIndex, Calendar calendar,
                                       std::function<void(Decisions)> done) {
    executor_->execute([this, startDate, dayIndex, calendar = std::move(calendar), done = std::move(done)] {
        done(forDay(entries_, startDate, dayIndex, calendar));
    });
}

void AgentDecisionLog::count(std::function<void(std::size_t)> done) {
    executor_->execute([this, done = std::move(done)] { done(entries_.size()); });
}

void AgentDecisionLog::clear(std::function<void()> done) {
    executor_->execute([this, done = std::move(done)] {
        entries_.clear();
        if (done) done();
    });
}

AgentDecisionLog::Decisions AgentDecisionLog::inWindow(const std::deque<AgentDecision>& entries, Date now,
                                                       int days) {
    const Date cutoff = now.adding(-static_cast<double>(days) * 24 * 60 * 60);
    Decisions result;
    for (const auto& decision : entries)
        if (decision.decided_at >= cutoff) result.push_back(decision);
    return result;
}

AgentDecisionLog::Decisions AgentDecisionLog::forDay(const std::deque<AgentDecision>& entries, Date startDate,
                                                     std::int64_t dayIndex, const Calendar& calendar) {
    if (!formable(startDate.seconds)) return {};
    const Date base = calendar.startOfDay(startDate);
    // Noon of the wanted day, counted in whole days from the base day's start: clock
    // changes move a day's start by an hour or two, never by half a day.
    const double noon = base.seconds + static_cast<double>(dayIndex) * 86'400.0 + 43'200.0;
    if (!formable(noon)) return {};
    const Date dayStart = calendar.startOfDay(Date{noon});
    const Date dayEnd = calendar.startOfNextDay(dayStart);
    Decisions result;
    for (const auto& decision : entries)
        if (decision.decided_at >= dayStart && decision.decided_at < dayEnd) result.push_back(decision);
    return result;
}

}  // namespace tw
