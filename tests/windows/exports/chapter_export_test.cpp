#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports_test_support.h"
#include "platform/testing/recording_desktop.h"
#include "windows/exports/chapter_document.h"
#include "windows/exports/tumblewick_chapter_export.h"

namespace tw {
namespace {

using testing::newYork;
using testing::readText;
using testing::utcDecember7;

// 2026-12-07 in New York: the feed, the spotlight and the diary of a busy day.
ChapterHostView busyDay() {
    ChapterHostView host;
    host.attendedFleaID = "Nova";
    auto line = [&](std::string flea, std::string action, std::string text, double utcHours) {
        host.recentLines.push_back(
            {std::move(flea), std::move(action), std::move(text), utcDecember7(utcHours)});
    };
    line("Pip", "perform_signature", "Ta-da! <b>not bold</b> & *stars* _here_", 14.0);
    line("E\u0301mile", "micro_story_role", "I am the villain today.", 14.1);
    line("zed", "applaud", "Bravo!", 14.2);
    line("Zing", "attempt_bit", "Watch this \"trick\".", 14.3);
    // Composed spelling of the same name: one section, headed by the first spelling met.
    line("\u00C9mile", "diary", "Dear diary, the villain is tired.", 14.4);
    const char* actions[] = {"refuse", "pre_action_ritual", "initiate_duet", "sit"};
    for (int i = 1; i <= 22; ++i)
        line("Dot", actions[i % 4], "Dot line " + std::to_string(i), 15.0 + i * 0.05);
    line("Blaze", "diary", "Fire is a feeling.", 17.0);
    return host;
}

std::vector<ChapterDiaryEntry> thirteenDiaryEntries() {
    std::vector<ChapterDiaryEntry> diary;
    for (int i = 1; i <= 13; ++i)
        diary.push_back({"Nova", "Diary " + std::to_string(i), utcDecember7(13.0 + i * 0.1)});
    diary.push_back({"Rex", "Same minute as Diary 13, pooled later.", utcDecember7(13.0 + 13 * 0.1)});
    return diary;
}

TEST(ChapterDocumentTest, BusyDayMatchesTheGoldenChapter) {
    const std::string document =
        renderChapter(busyDay(), thirteenDiaryEntries(), utcDecember7(23.5), newYork());
    const std::string golden = readText(std::string(TW_EXPORTS_GOLDEN_DIR) + "/busy_day_chapter.md");
    if (document != golden) {
        std::ofstream(testing::scratchFolder("golden") / "busy_day_chapter.md", std::ios::binary) << document;
    }
    EXPECT_EQ(document, golden);
}

TEST(ChapterDocumentTest, SectionsAppearOnlyWhenTheirDataDoes) {
    const Calendar calendar = newYork();
    const Date now = utcDecember7(23.5);
    const std::string head =
        "# Tumblewick \u00B7 Monday, December 7, 2026\n\n"
        "> Today's chapter \u2014 autonomous flea decisions and dialogue.\n\n";
    const std::string footer = "---\n\n_Generated 6:30\u202FPM by Tumblewick v3.0._\n";
    const ChapterDiaryEntry diaryLine{"Rex", "Swagger.", utcDecember7(20.0)};
    const ChapterFeedLine feedLine{"Rex", "perform_signature", "Boom.", utcDecember7(21.0)};
    struct Case {
        const char* name;
        ChapterHostView host;
        std::vector<ChapterDiaryEntry> diary;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"quiet day",
         {{}, std::nullopt},
         {},
         head +
             "_No flea is spotlit._\n\n**0** lines in the recent feed.\n\n_The troupe was quiet today._\n"},
        {"diary only",
         {{}, "Rex"},
         {diaryLine},
         head +
             "_**Rex** is currently spotlit._\n\n**0** lines in the recent feed.\n\n---\n\n## Today's "
             "Diary\n\n"
             "**Rex** \u00B7 3:00\u202FPM\n\n> Swagger.\n\n" +
             footer},
        {"feed only",
         {{feedLine}, std::nullopt},
         {},
         head +
             "_No flea is spotlit._\n\n**1** lines in the recent feed.\n\n---\n\n## Per flea\n\n### Rex\n\n"
             "- _signature_  \u00B7  \"Boom.\"  \u00B7  4:00\u202FPM\n\n" +
             footer},
    };
    for (const Case& c : cases)
        EXPECT_EQ(renderChapter(c.host, c.diary, now, calendar), c.expected) << c.name;
}

TEST(ChapterExportTest, WritesOneFilePerDayAndRevealsIt) {
    const auto desktop = testing::scratchFolder("chapter-desktop");
    testing::RecordingDesktop recorder;
    const DiaryLineSource noDiary = [](const std::string&, Date, Calendar, auto answer) { answer({}); };
    const Calendar calendar = newYork();

    ChapterHostView host;
    const auto first = TumblewickChapterExport::writeToDesktop(host, noDiary, utcDecember7(15.0), calendar,
                                                               desktop, recorder);
    host.recentLines.push_back({"Pip", "applaud", "Again!", utcDecember7(16.0)});
    const auto second = TumblewickChapterExport::writeToDesktop(host, noDiary, utcDecember7(16.5), calendar,
                                                                desktop, recorder);

    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, desktop / "Tumblewick-2026-12-07.md");
    EXPECT_EQ(*second, *first);
    EXPECT_EQ(readText(*second), renderChapter(host, {}, utcDecember7(16.5), calendar));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(desktop), {}), 1);  // no temporaries left
    EXPECT_EQ(recorder.revealed, (std::vector<std::filesystem::path>{*first, *second}));
}

TEST(ChapterExportTest, AMissingOrUnwritableDesktopWritesAndRevealsNothing) {
    const auto scratch = testing::scratchFolder("chapter-unwritable");
    // The day's file name taken by a folder: the final replace fails after the write.
    std::filesystem::create_directories(scratch / "Tumblewick-2026-12-07.md" / "keep");
    const DiaryLineSource noDiary = [](const std::string&, Date, Calendar, auto answer) { answer({}); };
    for (const std::filesystem::path& folder :
         {scratch / "no-such-desktop", std::filesystem::path("/proc"), scratch}) {
        testing::RecordingDesktop recorder;
        EXPECT_EQ(TumblewickChapterExport::writeToDesktop({}, noDiary, utcDecember7(15.0), newYork(), folder,
                                                          recorder),
                  std::nullopt)
            << folder;
        EXPECT_TRUE(recorder.revealed.empty());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}),
              1);                                                        // only the folder in the way
    EXPECT_FALSE(std::filesystem::exists(scratch / "no-such-desktop"));  // never created
}

}  // namespace
}  // namespace tw
