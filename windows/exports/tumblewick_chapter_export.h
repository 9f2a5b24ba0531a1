#pragma once
// Writes today's chapter to the Desktop as Markdown and shows it in the file manager.
#include <filesystem>
#include <optional>

#include "platform/calendar.h"
#include "platform/date.h"
#include "platform/desktop.h"
#include "windows/exports/chapter_document.h"
#include "windows/exports/diary_collection.h"

namespace tw {

class TumblewickAgentHost;
struct ExportEnvironment;

class TumblewickChapterExport {
   public:
    // Today's chapter from the shared agent host, in the user's calendar. Main thread.
    static std::optional<std::filesystem::path> writeToDesktop();
    // The same for one host, with the clock and Desktop folder of `environment`.
    static std::optional<std::filesystem::path> writeToDesktop(TumblewickAgentHost& host,
                                                               const ExportEnvironment& environment,
                                                               const Calendar& calendar, Desktop& desktop);
    // The same with everything it reads passed in. Main thread; blocks at most the
    // diary wait besides rendering and writing. The file's path, or nullopt when the
    // Desktop is missing or the write fails (then nothing is revealed).
    static std::optional<std::filesystem::path> writeToDesktop(const ChapterHostView& host,
                                                               const DiaryLineSource& diarySource, Date now,
                                                               const Calendar& calendar,
                                                               const std::filesystem::path& desktopFolder,
                                                               Desktop& desktop);
};

}  // namespace tw
