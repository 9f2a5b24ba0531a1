#include "windows/companions/recent_thoughts_texts.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace tw {

std::string thoughtAgeText(double elapsedSeconds) {
    if (!(elapsedSeconds >= 5.0)) return "just now";  // NaN too
    if (elapsedSeconds < 60.0) return std::to_string(static_cast<std::int64_t>(elapsedSeconds)) + "s ago";
    const auto minutes = static_cast<std::int64_t>(elapsedSeconds / 60.0);
    if (minutes <= 59) return std::to_string(minutes) + "m ago";
    return std::to_string(static_cast<std::int64_t>(elapsedSeconds / 3600.0)) + "h ago";
}

std::string thoughtActionLabel(const std::string& actionRaw) {
    static const std::map<std::string, std::string> labels{
        {"perform_signature", "signature"},
        {"attempt_bit", "tries something"},
        {"initiate_duet", "duet"},
        {"refuse", "refused"},
        {"applaud", "applauds"},
        {"pre_action_ritual", "ritual"},
    };
    if (const auto found = labels.find(actionRaw); found != labels.end()) return found->second;
    std::string label = actionRaw;
    std::replace(label.begin(), label.end(), '_', ' ');
    return label;
}

std::string dayTallyText(const agent_host::DayStats& stats) {
    std::string text = "Today: " + std::to_string(stats.total) + " lines";
    const std::pair<std::int64_t, const char*> parts[] = {{stats.signatures, " \u2728"},
                                                          {stats.bits, " bits"},
                                                          {stats.duets, " duets"},
                                                          {stats.refusals, " refusals"},
                                                          {stats.diary, " diary"}};
    for (const auto& [count, name] : parts)
        if (count > 0) text += " \u00B7 " + std::to_string(count) + name;
    return text;
}

std::string activitySparkline(const std::vector<std::int64_t>& perMinute) {
    static const char* const blocks[] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                         "\u2585", "\u2586", "\u2587", "\u2588"};
    const std::int64_t busiest =
        perMinute.empty() ? 0 : *std::max_element(perMinute.begin(), perMinute.end());
    std::string row;
    for (const std::int64_t count : perMinute) {
        if (busiest < 1 || count <= 0) {
            row += ' ';
            continue;
        }
        const auto index = std::lround(static_cast<double>(count) / static_cast<double>(busiest) * 7.0);
        row += blocks[std::clamp<long>(index, 0, 7)];
    }
    return row;
}

std::vector<ThoughtsRun> recentThoughtsRuns(const std::vector<agent_host::RecentLine>& oldestFirst,
                                            const agent_host::DayStats& today,
                                            const std::vector<std::int64_t>& perMinute, Date now) {
    std::vector<ThoughtsRun> runs;
    if (oldestFirst.empty())
        runs.push_back(
            {ThoughtsStyle::placeholder, "No recent activity yet \u2014 wind the circus or wait a moment."});
    const std::size_t shown = std::min(oldestFirst.size(), thoughtsShown);
    for (auto entry = oldestFirst.rbegin();
         entry != oldestFirst.rbegin() + static_cast<std::ptrdiff_t>(shown); ++entry) {
        runs.push_back({ThoughtsStyle::header, entry->fleaName + "  \u00B7  " +
                                                   thoughtActionLabel(entry->actionRaw) + "  \u00B7  " +
                                                   thoughtAgeText(now.since(entry->at)) + "\n"});
        runs.push_back({ThoughtsStyle::body, "  " + entry->line + "\n\n"});
    }
    if (today.total < 1) return runs;
    runs.push_back({ThoughtsStyle::rule,
                    "\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\n"});
    runs.push_back({ThoughtsStyle::tally, dayTallyText(today) + "\n"});
    runs.push_back({ThoughtsStyle::activity, "30m  " + activitySparkline(perMinute)});
    return runs;
}

}  // namespace tw
