#pragma once
// The records the agent host keeps for the windows (spoken lines and dialogue debug
// entries) and the plain counts over them: lines per span and per minute, the day's
// tally, the busiest resident, and a flea's most frequent partners in the decision log.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/host/agent_decision.h"
#include "platform/date.h"

namespace tw::agent_host {

struct RecentLine {
    std::string fleaName{};   // flea id
    std::string actionRaw{};  // the decision's action, or "diary"
    std::string line{};
    Date at{};  // when it was stored
    friend bool operator==(const RecentLine&, const RecentLine&) = default;
};

struct DialogueDebugEntry {
    std::string flea{};
    std::string outcomeKind{};
    std::string channel{};
    std::string generator{};  // "llm" or "template"
    bool cacheHit = false;
    std::int64_t latencyMs = 0;
    std::string fallback{};
    std::string line{};
    Date at{};
    friend bool operator==(const DialogueDebugEntry&, const DialogueDebugEntry&) = default;
};

// Counts over the whole feed, whatever day its lines are from.
struct DayStats {
    std::int64_t total = 0;
    std::int64_t signatures = 0;
    std::int64_t bits = 0;
    std::int64_t duets = 0;
    std::int64_t refusals = 0;
    std::int64_t diary = 0;
    friend bool operator==(const DayStats&, const DayStats&) = default;
};

struct Bond {
    std::string partner{};
    std::int64_t count = 0;
    friend bool operator==(const Bond&, const Bond&) = default;
};

// Appends, then drops the oldest until at most `cap` remain.
template <typename T>
void appendCapped(std::vector<T>& list, T record, std::size_t cap) {
    list.push_back(std::move(record));
    if (list.size() > cap) list.erase(list.begin(), list.end() - static_cast<std::ptrdiff_t>(cap));
}

// Lines at most `seconds` old at `now` (lines stamped after `now` count too).
std::int64_t linesInLast(const std::vector<RecentLine>& lines, double seconds, Date now);
// Lines per minute over the last `minutes` minutes, oldest minute first; lines from
// the future or from before the span count nowhere. Empty for minutes <= 0.
std::vector<std::int64_t> linesByMinute(const std::vector<RecentLine>& lines, int minutes, Date now);
DayStats dayStats(const std::vector<RecentLine>& lines);
// How many lines each resident spoke within `seconds` before `now`, busiest first
// (equal counts in roster order); custom fleas never appear.
std::vector<std::pair<std::string, std::int64_t>> busiestResidents(const std::vector<RecentLine>& lines,
                                                                   double seconds, Date now);
// The spotlight the host picks after the user has left the strip alone.
std::string autoSpotlightPick(const std::vector<RecentLine>& lines,
                              const std::optional<std::string>& attended, Date now);
// The partners `fleaID` joined, watched or started a duet with, most often first
// (equal counts by partner id); at most `limit` (none for limit <= 0).
std::vector<Bond> topBonds(const std::vector<AgentDecision>& decisions, const std::string& fleaID, int limit);

}  // namespace tw::agent_host
