#include "windows/inner_life/timeline_texts.h"

#include <algorithm>

#include "windows/companions/recent_thoughts_texts.h"

namespace tw {

std::string elapsedText(double seconds, AgeUnits largest) {
    // Kept within what a whole number holds; the host stamps lines with its clock, so
    // only a clock set back makes an age negative.
    const auto whole = static_cast<std::int64_t>(std::clamp(seconds >= 0 ? seconds : 0.0, 0.0, 1e15));
    if (whole < 60) return std::to_string(whole) + "s ago";
    if (largest == AgeUnits::upToHours && whole >= 3600) return std::to_string(whole / 3600) + "h ago";
    return std::to_string(whole / 60) + "m ago";
}

std::string timelineActionLabel(const std::string& actionRaw) {
    // The timeline has room for the longer words; the rest read as in the thoughts panel.
    if (actionRaw == "attempt_bit") return "tries something brave";
    return thoughtActionLabel(actionRaw);
}

std::string timelineTallyText(const std::vector<agent_host::RecentLine>& lines) {
    const agent_host::DayStats all = agent_host::dayStats(lines);
    return dayTallyText(
        {.total = all.total, .signatures = all.signatures, .bits = all.bits, .duets = all.duets});
}

std::vector<agent_host::RecentLine> linesOfFlea(const std::vector<agent_host::RecentLine>& feed,
                                                const std::string& fleaId) {
    std::vector<agent_host::RecentLine> kept;
    std::copy_if(feed.begin(), feed.end(), std::back_inserter(kept),
                 [&](const agent_host::RecentLine& line) { return line.fleaName == fleaId; });
    return kept;
}

std::vector<std::int64_t> perMinuteCounts(const std::vector<agent_host::RecentLine>& feed,
                                          const std::string& fleaId, int minutes, Date now) {
    return agent_host::linesByMinute(linesOfFlea(feed, fleaId), minutes, now);
}

TimelineContent timelineContent(const std::vector<agent_host::RecentLine>& feed, const std::string& fleaId,
                                const std::string& displayName, Date now) {
    const Color yellow = Color::rgb(1, 1, 0);
    const Font bodyFont{FontFamily::system, 13, FontWeight::regular};
    const auto lines = linesOfFlea(feed, fleaId);
    TimelineContent content{.title = "Timeline \u00B7 " + displayName,
                            .header = displayName,
                            .summary = timelineTallyText(lines),
                            .buckets = perMinuteCounts(feed, fleaId, timelineMinutes, now)};
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        content.lines.push_back({timelineActionLabel(line->actionRaw) + "  \u00B7  " +
                                     elapsedText(now.since(line->at), AgeUnits::upToHours) + "\n",
                                 Font{FontFamily::system, 10, FontWeight::semibold}, yellow.withAlpha(0.65)});
        content.lines.push_back({"  " + line->line + "\n\n", bodyFont, Color::white(1, 0.92)});
    }
    if (lines.empty())
        content.lines.push_back(
            {"\nNo lines from " + displayName + " yet today.", bodyFont, Color::white(1, 0.5)});
    return content;
}

}  // namespace tw
