#pragma once
// Once a calendar day, shortly after launch: "yesterday's chapter is on your
// Desktop", with a one-line summary and an offer to show it.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/calendar.h"
#include "platform/date.h"
#include "platform/defaults.h"
#include "platform/desktop.h"

namespace tw {

class TumblewickYesterdayBanner {
   public:
    static constexpr const char* lastShownKey = "tw_v3_yesterday_banner_last_shown";

    // Main thread. Reads the installed export environment and the current calendar.
    static void surfaceIfApplicable();
    static void surfaceIfApplicable(Defaults& defaults, Date now, const Calendar& calendar,
                                    const std::filesystem::path& desktopFolder, Desktop& desktop);

    // "yyyy-MM-dd" of the calendar date before the one holding `now` (not of now minus
    // 24 hours, which names the wrong day around a clock change).
    static std::string yesterdayStamp(Date now, const Calendar& calendar);
    // The alert's sentence for a chapter's text; nullopt is a chapter that could not be read.
    static std::string summarise(const std::optional<std::string>& chapterText);

   private:
    // Where yesterday's chapter would be; nullopt without a Desktop folder.
    static std::optional<std::filesystem::path> locateYesterdayChapter(
        Date now, const Calendar& calendar, const std::filesystem::path& desktopFolder);
};

}  // namespace tw
