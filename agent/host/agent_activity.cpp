#include "agent/host/agent_activity.h"

#include <algorithm>
#include <map>

#include "agent/host/agent_host_tables.h"

namespace tw::agent_host {

std::int64_t linesInLast(const std::vector<RecentLine>& lines, double seconds, Date now) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const RecentLine& line) { return now.since(line.at) <= seconds; });
}

std::vector<std::int64_t> linesByMinute(const std::vector<RecentLine>& lines, int minutes, Date now) {
    if (minutes <= 0) return {};
    std::vector<std::int64_t> buckets(static_cast<std::size_t>(minutes), 0);
    const double span = static_cast<double>(minutes) * 60.0;
    for (const auto& line : lines) {
        const double age = now.since(line.at);
        // Written so that a NaN age is skipped too, before it reaches the cast.
        if (!(age >= 0 && age < span)) continue;
        const auto minute = static_cast<std::size_t>(age / 60.0);
        buckets[buckets.size() - 1 - std::min(minute, buckets.size() - 1)] += 1;
    }
    return buckets;
}

DayStats dayStats(const std::vector<RecentLine>& lines) {
    DayStats stats;
    for (const auto& line : lines) {
        ++stats.total;
        const std::string& action = line.actionRaw;
        if (action == "perform_signature")
            ++stats.signatures;
        else if (action == "attempt_bit")
            ++stats.bits;
        else if (action == "initiate_duet")
            ++stats.duets;
        else if (action == "refuse")
            ++stats.refusals;
        else if (action == "diary")
            ++stats.diary;
    }
    return stats;
}

std::vector<std::pair<std::string, std::int64_t>> busiestResidents(const std::vector<RecentLine>& lines,
                                                                   double seconds, Date now) {
    std::array<std::int64_t, residents.size()> counts{};
    for (const auto& line : lines) {
        if (!(now.since(line.at) <= seconds)) continue;
        for (std::size_t i = 0; i < residents.size(); ++i)
            if (residents[i].name == line.fleaName) ++counts[i];
    }
    std::vector<std::pair<std::string, std::int64_t>> ranked;
    for (std::size_t i = 0; i < residents.size(); ++i)
        if (counts[i] > 0) ranked.emplace_back(std::string(residents[i].name), counts[i]);
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return ranked;
}

std::string autoSpotlightPick(const std::vector<RecentLine>& lines,
                              const std::optional<std::string>& attended, Date now) {
    const auto candidates = busiestResidents(lines, 60.0, now);
    if (candidates.empty())
        return std::string(
            residents[periodIndex(now, spotlightFallbackPeriodSeconds, residents.size())].name);
    // Move on from the flea already in the light, when there is anyone else to pick.
    if (attended && *attended == candidates.front().first && candidates.size() >= 2)
        return candidates[1].first;
    return candidates.front().first;
}

std::vector<Bond> topBonds(const std::vector<AgentDecision>& decisions, const std::string& fleaID,
                           int limit) {
    if (limit <= 0) return {};
    std::map<std::string, std::int64_t> counts;
    for (const auto& decision : decisions) {
        if (decision.flea_id != fleaID || !decision.intent.target_flea_id) continue;
        const AgentAction action = decision.intent.action;
        if (action == AgentAction::join_flea || action == AgentAction::watch_flea ||
            action == AgentAction::initiate_duet)
            ++counts[*decision.intent.target_flea_id];
    }
    std::vector<Bond> bonds;
    for (auto& [partner, count] : counts) bonds.push_back(Bond{partner, count});
    std::stable_sort(bonds.begin(), bonds.end(),
                     [](const Bond& a, const Bond& b) { return a.count > b.count; });
    if (bonds.size() > static_cast<std::size_t>(limit)) bonds.resize(static_cast<std::size_t>(limit));
    return bonds;
}

}  // namespace tw::agent_host
