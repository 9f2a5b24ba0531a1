#pragma once
// The words on the share card: which moment it shows and how it is phrased.
#include <string>
#include <vector>

#include "platform/calendar.h"
#include "platform/date.h"
#include "windows/exports/chapter_document.h"

namespace tw {

struct ShareCardMoment {
    std::string flea;
    std::string action;
    std::string line;
    friend bool operator==(const ShareCardMoment&, const ShareCardMoment&) = default;
};

struct ShareCardTexts {
    std::string title;
    std::string headline;
    std::string quote;
    std::string attribution;
    std::string footer;
    std::string emblem;
    friend bool operator==(const ShareCardTexts&, const ShareCardTexts&) = default;
};

// The last toast's moment when there was one, else the feed's newest line, else the
// quiet troupe.
ShareCardMoment chooseShareCardMoment(const ShareCardMoment& lastToast,
                                      const std::vector<ChapterFeedLine>& recentLines);

ShareCardTexts shareCardTexts(const ShareCardMoment& moment);

// "Tumblewick-yyyy-MM-dd-HHmmss.png": a new file every second.
std::string shareCardFileName(Date now, const Calendar& calendar);

}  // namespace tw
