#include "windows/exports/tumblewick_yesterday_banner.h"

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/unicode.h"
#include "windows/exports/chapter_document.h"
#include "windows/exports/export_environment.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFallbackSummary = "A chapter from yesterday is on your Desktop.";
// A chapter is a few kilobytes; anything this large is not one.
constexpr std::uintmax_t kMaxChapterBytes = 8u << 20;

std::size_t occurrences(std::string_view text, std::string_view separator) {
    std::size_t count = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, at + separator.size())) {
        ++count;
    }
    return count;
}

std::string_view trimmedSpacesAndTabs(std::string_view line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

// The chapter as UTF-8 text; nullopt when it could not be read or is not UTF-8.
std::optional<std::string> chapterText(atomic_file::ReadResult& read) {
    if (read.status != atomic_file::ReadStatus::ok) return std::nullopt;
    if (unicode::repairUtf8(read.text) != read.text) return std::nullopt;
    return std::move(read.text);
}

}  // namespace

void TumblewickYesterdayBanner::surfaceIfApplicable() {
    const ExportEnvironment& environment = ExportEnvironment::shared();
    if (environment.standardDefaults == nullptr) return;
    surfaceIfApplicable(*environment.standardDefaults, environment.clockOrSystem().now(), Calendar(),
                        environment.desktopFolderPath(), Desktop::shared());
}

void TumblewickYesterdayBanner::surfaceIfApplicable(Defaults& defaults, Date now, const Calendar& calendar,
                                                    const fs::path& desktopFolder, Desktop& desktop) {
    const std::string today = calendar.dayKey(now);
    if (defaults.stringForKey(lastShownKey).value_or("") == today) return;

    const auto chapter = locateYesterdayChapter(now, calendar, desktopFolder);
    defaults.setString(lastShownKey, today);
    if (!chapter) return;
    // Only a regular file is a chapter (one that cannot be read gets the general
    // summary): a folder, FIFO, device or loop of links there is none.
    auto read = atomic_file::read(*chapter, kMaxChapterBytes);
    if (read.status == atomic_file::ReadStatus::missing) return;
    std::error_code error;
    if (read.status == atomic_file::ReadStatus::notAFile ||
        (read.status == atomic_file::ReadStatus::failed && !fs::is_regular_file(*chapter, error))) {
        log::warning("Yesterday's chapter " + chapter->string() + " " +
                     atomic_file::describe(read, kMaxChapterBytes) + "; no alert for it");
        return;
    }

    const std::string summary = summarise(chapterText(read));
    // Durable before the alert, so a quit while it is open does not bring it back today.
    if (!defaults.flush()) log::warning("Could not save the day of the yesterday banner");
    const std::size_t answer = desktop.runAlert({"Yesterday in the troupe", summary, {"Open it", "Not now"}});
    if (answer == 0) desktop.revealFile(*chapter);
}

std::string TumblewickYesterdayBanner::yesterdayStamp(Date now, const Calendar& calendar) {
    // The last instant before today began lies on the previous date, however long either day is.
    return calendar.dayKey(calendar.startOfDay(now).adding(-0.001));
}

std::optional<fs::path> TumblewickYesterdayBanner::locateYesterdayChapter(Date now, const Calendar& calendar,
                                                                          const fs::path& desktopFolder) {
    std::error_code error;
    if (!fs::is_directory(desktopFolder, error)) return std::nullopt;
    return desktopFolder / chapterFileName(yesterdayStamp(now, calendar));
}

std::string TumblewickYesterdayBanner::summarise(const std::optional<std::string>& chapterText) {
    if (!chapterText) return kFallbackSummary;
    const std::string& text = *chapterText;
    const std::size_t diaries = occurrences(text, "## Today's Diary");
    const std::size_t fleas = occurrences(text, "### ");
    if (diaries > 0 || fleas > 0) {
        std::vector<std::string> parts;
        if (fleas > 0) parts.push_back(std::to_string(fleas) + " fleas spoke");
        if (diaries > 0) parts.emplace_back("a diary entry");
        std::string summary = "Yesterday: ";
        for (std::size_t i = 0; i < parts.size(); ++i) summary += (i > 0 ? " \u00B7 " : "") + parts[i];
        return summary + ". The chapter is on your Desktop.";
    }
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        const std::string_view line = trimmedSpacesAndTabs(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.front() != '#' && line.front() != '>')
            return "Yesterday: " + std::string(line);
    }
    return kFallbackSummary;
}

}  // namespace tw
