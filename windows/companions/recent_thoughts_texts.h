#pragma once
// What the recent thoughts panel shows, as styled runs of plain text, so the words,
// ages, tally and activity row are tested without a window.
#include <cstdint>
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "platform/date.h"

namespace tw {

enum class ThoughtsStyle { placeholder, header, body, rule, tally, activity };

struct ThoughtsRun {
    ThoughtsStyle style{};
    std::string text{};
    friend bool operator==(const ThoughtsRun&, const ThoughtsRun&) = default;
};

inline constexpr std::size_t thoughtsShown = 12;
inline constexpr int activityMinutes = 30;

// "just now", "12s ago", "59m ago", "1h ago".
std::string thoughtAgeText(double elapsedSeconds);
// The words for a decision's action; unknown ones with their underscores as spaces.
std::string thoughtActionLabel(const std::string& actionRaw);
// "Today: 5 lines · 2 ✨ · …", naming only the counts above zero after the first.
std::string dayTallyText(const agent_host::DayStats& stats);
// One block character per minute scaled to the busiest one; idle minutes are blanks.
std::string activitySparkline(const std::vector<std::int64_t>& perMinute);

// The whole text: the newest lines first, then the day's tally and activity when
// anything happened today.
std::vector<ThoughtsRun> recentThoughtsRuns(const std::vector<agent_host::RecentLine>& oldestFirst,
                                            const agent_host::DayStats& today,
                                            const std::vector<std::int64_t>& perMinute, Date now);

}  // namespace tw
