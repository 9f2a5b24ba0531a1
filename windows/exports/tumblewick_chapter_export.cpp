#include "windows/exports/tumblewick_chapter_export.h"

#include "windows/exports/desktop_file.h"

namespace tw {

std::optional<std::filesystem::path> TumblewickChapterExport::writeToDesktop(
    const ChapterHostView& host, const DiaryLineSource& diarySource, Date now, const Calendar& calendar,
    const std::filesystem::path& desktopFolder, Desktop& desktop) {
    const std::string stamp = calendar.format(now, "yyyy-MM-dd");
    const auto diary = collectDiaryEntries(diarySource, now, calendar);
    const std::string document = renderChapter(host, diary, now, calendar);
    return saveToDesktop(desktopFolder, chapterFileName(stamp), document, desktop);
}

}  // namespace tw
