#pragma once
// What the timeline window shows for one flea: its tally, its lines per minute over
// the last hour and its lines newest first, from the recent-lines feed.
#include <cstdint>
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "platform/date.h"
#include "windows/inner_life/styled_run.h"

namespace tw {

inline constexpr int timelineMinutes = 60;

enum class AgeUnits { upToMinutes, upToHours };

// "7s ago", "3m ago", and with hours "2h ago". Whole seconds, truncated; an age that
// is negative or not a number reads as 0s.
std::string elapsedText(double seconds, AgeUnits largest);
// Readable words for a line's action; unknown ones with their underscores as spaces.
std::string timelineActionLabel(const std::string& actionRaw);
// "Today: 7 lines · 2 ✨ · 1 duets" over the given lines, whatever their day.
std::string timelineTallyText(const std::vector<agent_host::RecentLine>& lines);
// The flea's entries of the feed, in feed order.
std::vector<agent_host::RecentLine> linesOfFlea(const std::vector<agent_host::RecentLine>& feed,
                                                const std::string& fleaId);
// The flea's lines per minute, oldest minute first; the last counts the last 60 s.
std::vector<std::int64_t> perMinuteCounts(const std::vector<agent_host::RecentLine>& feed,
                                          const std::string& fleaId, int minutes, Date now);

struct TimelineContent {
    std::string title{};
    std::string header{};
    std::string summary{};
    std::vector<std::int64_t> buckets{};
    std::vector<StyledRun> lines{};
    friend bool operator==(const TimelineContent&, const TimelineContent&) = default;
};

TimelineContent timelineContent(const std::vector<agent_host::RecentLine>& feed, const std::string& fleaId,
                                const std::string& displayName, Date now);

}  // namespace tw
