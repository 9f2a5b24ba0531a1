#include "windows/exports/chapter_document.h"

#include <algorithm>
#include <cstddef>
#include <map>

#include "platform/unicode.h"

namespace tw {

namespace {

constexpr std::size_t kDiaryEntriesShown = 12;
constexpr std::size_t kLinesPerFleaShown = 20;

// One flea's section: the name as first met in the feed, and its lines in feed order.
struct FleaSection {
    std::string name;
    std::vector<const ChapterFeedLine*> lines;
};

// Names that are canonically equal are one flea; sections come out ordered by the
// composed form's code points (UTF-8 byte order is code point order).
std::map<std::string, FleaSection> sectionsByFlea(const std::vector<ChapterFeedLine>& feed) {
    std::map<std::string, FleaSection> sections;
    for (const ChapterFeedLine& line : feed) {
        FleaSection& section = sections[unicode::nfc(line.fleaName)];
        if (section.lines.empty()) section.name = line.fleaName;
        section.lines.push_back(&line);
    }
    return sections;
}

}  // namespace

std::string chapterFileName(const std::string& dayStamp) { return "Tumblewick-" + dayStamp + ".md"; }

std::string chapterLineLabel(std::string_view actionRaw) {
    static const std::map<std::string_view, std::string_view> kLabels = {
        {"perform_signature", "signature"},
        {"attempt_bit", "tries something"},
        {"initiate_duet", "duet"},
        {"refuse", "refuses"},
        {"applaud", "applauds"},
        {"pre_action_ritual", "ritual"},
    };
    if (auto it = kLabels.find(actionRaw); it != kLabels.end()) return std::string(it->second);
    std::string label(actionRaw);
    std::replace(label.begin(), label.end(), '_', ' ');
    return label;
}

std::string renderChapter(const ChapterHostView& host, const std::vector<ChapterDiaryEntry>& diaryEntries,
                          Date now, const Calendar& calendar) {
    std::string out;
    out += "# Tumblewick \u00B7 " + calendar.fullDateText(now) + "\n\n";
    out += "> Today's chapter \u2014 autonomous flea decisions and dialogue.\n\n";
    if (host.attendedFleaID) {
        out += "_**" + *host.attendedFleaID + "** is currently spotlit._\n\n";
    } else {
        out += "_No flea is spotlit._\n\n";
    }
    out += "**" + std::to_string(host.recentLines.size()) + "** lines in the recent feed.\n\n";

    if (!diaryEntries.empty()) {
        out += "---\n\n## Today's Diary\n\n";
        const std::size_t first = diaryEntries.size() - std::min(diaryEntries.size(), kDiaryEntriesShown);
        for (std::size_t i = first; i < diaryEntries.size(); ++i) {
            const ChapterDiaryEntry& entry = diaryEntries[i];
            out += "**" + entry.flea + "** \u00B7 " + calendar.shortTimeText(entry.at) + "\n\n";
            out += "> " + entry.line + "\n\n";
        }
    }

    if (host.recentLines.empty() && diaryEntries.empty()) {
        out += "_The troupe was quiet today._\n";
        return out;
    }

    if (!host.recentLines.empty()) {
        out += "---\n\n## Per flea\n\n";
        for (const auto& [key, section] : sectionsByFlea(host.recentLines)) {
            out += "### " + section.name + "\n\n";
            const std::size_t first =
                section.lines.size() - std::min(section.lines.size(), kLinesPerFleaShown);
            for (std::size_t i = first; i < section.lines.size(); ++i) {
                const ChapterFeedLine& line = *section.lines[i];
                out += "- _" + chapterLineLabel(line.actionRaw) + "_  \u00B7  \"" + line.line +
                       "\"  \u00B7  " + calendar.shortTimeText(line.at) + "\n";
            }
            out += "\n";
        }
    }

    out += "---\n\n";
    out += "_Generated " + calendar.shortTimeText(now) + " by Tumblewick v3.0._\n";
    return out;
}

}  // namespace tw
