#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "exports_test_support.h"
#include "platform/log.h"
#include "platform/testing/hostile_files.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/recording_desktop.h"
#include "windows/exports/chapter_document.h"
#include "windows/exports/tumblewick_yesterday_banner.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using Banner = TumblewickYesterdayBanner;

Date utc(double unixSeconds) { return Date::fromUnix(unixSeconds); }

void writeChapter(const fs::path& folder, const std::string& stamp,
                  const std::string& text = "_No flea is spotlit._\n") {
    std::ofstream(folder / chapterFileName(stamp), std::ios::binary) << text;
}

TEST(YesterdayBannerTest, YesterdayIsThePreviousCalendarDateAcrossMidnightAndClockChanges) {
    struct Case {
        const char* name;
        const char* zone;
        Date now;
        const char* yesterday;
    };
    const Case cases[] = {
        {"noon", "America/New_York", utc(1796601600 + 17 * 3600), "2026-12-06"},
        {"just after midnight", "America/New_York", utc(1796601600 + 5 * 3600 + 30), "2026-12-06"},
        {"just before midnight", "America/New_York", utc(1796601600 + 29 * 3600 - 30), "2026-12-06"},
        // 2026-11-01 lasts 25 hours: at 23:30 EST, 24 hours back is still the same date.
        {"late on a 25-hour day", "America/New_York", utc(1793491200 + 28.5 * 3600), "2026-10-31"},
        // 2026-03-08 lasts 23 hours: at 00:10 EDT on the 9th, 24 hours back is the 7th.
        {"after a 23-hour day", "America/New_York", utc(1772928000 + 28 * 3600 + 600), "2026-03-08"},
        // Santiago's 2026-09-06 begins at 01:00: its midnight never happened.
        {"day without a midnight", "America/Santiago", utc(1788667200 + 1800), "2026-09-05"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Banner::yesterdayStamp(c.now, Calendar(c.zone, "en_US")), c.yesterday) << c.name;
    }
}

TEST(YesterdayBannerTest, ShowsOncePerCalendarDayAndRevealsOnlyOnOpenIt) {
    const fs::path desktop = testing::scratchFolder("banner-days");
    const Calendar calendar = testing::newYork();
    testing::InMemoryDefaults defaults;
    testing::RecordingDesktop recorder;
    writeChapter(desktop, "2026-12-06");
    writeChapter(desktop, "2026-10-31");
    writeChapter(desktop, "2026-11-01");

    struct Step {
        const char* name;
        Date now;
        std::size_t answer;
        std::size_t alertsAfter;
        std::vector<fs::path> revealedAfter;
        const char* storedDay;
    };
    const fs::path dec6 = desktop / "Tumblewick-2026-12-06.md";
    const fs::path oct31 = desktop / "Tumblewick-2026-10-31.md";
    const Step steps[] = {
        {"first launch of the 7th, Not now", testing::utcDecember7(14.0), 1, 1, {}, "2026-12-07"},
        {"again late on the 7th", testing::utcDecember7(28.99), 0, 1, {}, "2026-12-07"},
        {"the 8th finds no chapter of the 7th", testing::utcDecember7(29.01), 0, 1, {}, "2026-12-08"},
        // A 25-hour day, late: the 31st's chapter, not the 1st's.
        {"late on 2026-11-01, Open it", utc(1793491200 + 28.5 * 3600), 0, 2, {oct31}, "2026-11-01"},
        {"back on the 7th, Open it", testing::utcDecember7(14.0), 0, 3, {oct31, dec6}, "2026-12-07"},
    };
    for (const Step& step : steps) {
        recorder.alertAnswer = step.answer;
        Banner::surfaceIfApplicable(defaults, step.now, calendar, desktop, recorder);
        EXPECT_EQ(recorder.alerts.size(), step.alertsAfter) << step.name;
        EXPECT_EQ(recorder.revealed, step.revealedAfter) << step.name;
        EXPECT_EQ(defaults.stringForKey(Banner::lastShownKey), step.storedDay) << step.name;
    }
    // The day is on disk before any alert is up.
    EXPECT_EQ(std::get<std::string>(defaults.flushedValues().at(Banner::lastShownKey)), "2026-12-07");
    EXPECT_EQ(recorder.alerts.front(),
              (DesktopAlert{
                  "Yesterday in the troupe", "Yesterday: _No flea is spotlit._", {"Open it", "Not now"}}));
}

TEST(YesterdayBannerTest, WithoutADesktopTheDayStillCounts) {
    testing::InMemoryDefaults defaults;
    testing::RecordingDesktop recorder;
    Banner::surfaceIfApplicable(defaults, testing::utcDecember7(14.0), testing::newYork(),
                                testing::scratchFolder("banner-none") / "missing", recorder);
    EXPECT_TRUE(recorder.alerts.empty());
    EXPECT_EQ(defaults.stringForKey(Banner::lastShownKey), "2026-12-07");
}

TEST(YesterdayBannerTest, SummariesCountSectionsOrQuoteTheFirstPlainLine) {
    const ChapterHostView quiet{{}, "Pip"};
    const Calendar calendar = testing::newYork();
    const std::string quietChapter = renderChapter(quiet, {}, testing::utcDecember7(15.0), calendar);
    const ChapterFeedLine pip{"Pip", "applaud", "Yes!", testing::utcDecember7(14.0)};
    const ChapterFeedLine rex{"Rex", "refuse", "No.", testing::utcDecember7(14.0)};
    const ChapterFeedLine dot{"Dot", "sit", "Hm.", testing::utcDecember7(14.0)};
    const ChapterDiaryEntry diary{"Nova", "Quiet.", testing::utcDecember7(13.0)};
    const auto chapter = [&](std::vector<ChapterFeedLine> feed, std::vector<ChapterDiaryEntry> entries) {
        return renderChapter({std::move(feed), std::nullopt}, entries, testing::utcDecember7(15.0), calendar);
    };
    struct Case {
        const char* name;
        std::optional<std::string> text;
        std::string summary;
    };
    const Case cases[] = {
        {"three fleas and a diary", chapter({pip, rex, dot}, {diary}),
         "Yesterday: 3 fleas spoke \u00B7 a diary entry. The chapter is on your Desktop."},
        {"diary only", chapter({}, {diary}), "Yesterday: a diary entry. The chapter is on your Desktop."},
        {"one flea keeps the plural", chapter({pip}, {}),
         "Yesterday: 1 fleas spoke. The chapter is on your Desktop."},
        {"quiet day quotes the spotlight line", quietChapter, "Yesterday: _**Pip** is currently spotlit._"},
        {"only headings", std::string("# Title\n\n> quote\n   \n"),
         "A chapter from yesterday is on your Desktop."},
        {"trims spaces and tabs", std::string("#\n\t  plain words \t\n"), "Yesterday: plain words"},
        {"unreadable", std::nullopt, "A chapter from yesterday is on your Desktop."},
    };
    for (const Case& c : cases) EXPECT_EQ(Banner::summarise(c.text), c.summary) << c.name;
}

TEST(YesterdayBannerTest, AChapterThatIsNotUtf8GetsTheGeneralSummary) {
    const fs::path desktop = testing::scratchFolder("banner-binary");
    writeChapter(desktop, "2026-12-06", std::string("### Pip\n\xff\xfe broken", 17));
    testing::InMemoryDefaults defaults;
    testing::RecordingDesktop recorder;
    Banner::surfaceIfApplicable(defaults, testing::utcDecember7(14.0), testing::newYork(), desktop, recorder);
    ASSERT_EQ(recorder.alerts.size(), 1u);
    EXPECT_EQ(recorder.alerts[0].informativeText, "A chapter from yesterday is on your Desktop.");
}

TEST(YesterdayBannerTest, OnlyARegularFileAtTheChaptersNameRaisesTheAlert) {
    const fs::path desktop = testing::freshShortFolder("twb");
    const fs::path chapter = desktop / chapterFileName("2026-12-06");
    std::vector<std::string> lines;
    log::setSinkForTesting([&lines](std::string_view line) { lines.emplace_back(line); });
    for (const auto& [kind, name] : testing::hostileKinds()) {
        testing::makeHostile(chapter, kind);
        const std::string before = testing::fingerprint(chapter);
        testing::InMemoryDefaults defaults;
        testing::RecordingDesktop recorder;
        lines.clear();
        Banner::surfaceIfApplicable(defaults, testing::utcDecember7(14.0), testing::newYork(), desktop,
                                    recorder);
        const bool regular = testing::isRegular(kind);
        EXPECT_EQ(recorder.alerts.size(), regular ? 1u : 0u) << name;
        EXPECT_EQ(lines.size(), regular ? 0u : 1u) << name;
        EXPECT_EQ(testing::fingerprint(chapter), before) << name;
        fs::remove_all(chapter);
    }
    log::setSinkForTesting(nullptr);
    fs::remove_all(desktop);
}

}  // namespace
}  // namespace tw
