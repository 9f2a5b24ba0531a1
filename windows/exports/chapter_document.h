#pragma once
// The day's chapter as Markdown: what the agent host's feed and the residents'
// diary lines say about today. Plain text in, plain text out: names and lines go
// in exactly as spoken, never escaped.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/host/agent_activity.h"
#include "platform/calendar.h"
#include "platform/date.h"

namespace tw {

// One line of the host's recent-lines feed.
using ChapterFeedLine = agent_host::RecentLine;

// One resident's diary line of today.
struct ChapterDiaryEntry {
    std::string flea;
    std::string line;
    Date at;
    friend bool operator==(const ChapterDiaryEntry&, const ChapterDiaryEntry&) = default;
};

// What the chapter reads of the agent host at the moment of the export.
struct ChapterHostView {
    std::vector<ChapterFeedLine> recentLines;  // oldest first
    std::optional<std::string> attendedFleaID;
    friend bool operator==(const ChapterHostView&, const ChapterHostView&) = default;
};

// "Tumblewick-" + the day's "yyyy-MM-dd" stamp + ".md": one chapter per calendar day.
std::string chapterFileName(const std::string& dayStamp);

// The label a feed line carries in the per-flea list ("signature", "duet", ...).
std::string chapterLineLabel(std::string_view actionRaw);

// The whole document. `diaryEntries` are sorted by time, oldest first.
std::string renderChapter(const ChapterHostView& host, const std::vector<ChapterDiaryEntry>& diaryEntries,
                          Date now, const Calendar& calendar);

}  // namespace tw
