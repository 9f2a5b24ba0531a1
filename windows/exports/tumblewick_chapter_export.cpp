#include "windows/exports/tumblewick_chapter_export.h"

#include "agent/host/tumblewick_agent_host.h"
#include "windows/exports/desktop_file.h"
#include "windows/exports/export_environment.h"

namespace tw {

std::optional<std::filesystem::path> TumblewickChapterExport::writeToDesktop() {
    return writeToDesktop(TumblewickAgentHost::shared(), ExportEnvironment::shared(), Calendar(),
                          Desktop::shared());
}

std::optional<std::filesystem::path> TumblewickChapterExport::writeToDesktop(
    TumblewickAgentHost& host, const ExportEnvironment& environment, const Calendar& calendar,
    Desktop& desktop) {
    return writeToDesktop({host.recentLines(), host.attendedFleaID()}, diaryLineSource(host.channelStore()),
                          environment.clockOrSystem().now(), calendar, environment.desktopFolderPath(),
                          desktop);
}

std::optional<std::filesystem::path> TumblewickChapterExport::writeToDesktop(
    const ChapterHostView& host, const DiaryLineSource& diarySource, Date now, const Calendar& calendar,
    const std::filesystem::path& desktopFolder, Desktop& desktop) {
    const std::string stamp = calendar.format(now, "yyyy-MM-dd");
    const auto diary = collectDiaryEntries(diarySource, now, calendar);
    const std::string document = renderChapter(host, diary, now, calendar);
    return saveToDesktop(desktopFolder, chapterFileName(stamp), document, desktop);
}

}  // namespace tw
