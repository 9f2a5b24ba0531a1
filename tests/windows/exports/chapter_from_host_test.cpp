#include <gtest/gtest.h>

#include <future>
#include <string>

#include "agent/host/tumblewick_agent_host.h"
#include "exports_test_support.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/testing/recording_desktop.h"
#include "windows/exports/export_environment.h"
#include "windows/exports/tumblewick_chapter_export.h"

namespace tw {
namespace {

using testing::utcDecember7;

// The real host and its channel store, answering from the store's own thread.
TEST(ChapterFromHostTest, ReadsTheFeedTheSpotlightAndTodaysDiaryOfTheHost) {
    testing::ManualMainQueue queue;
    testing::ManualClock clock(utcDecember7(23.0));
    testing::InMemoryDefaults defaults;
    TumblewickAgentHost host(testing::hostEnvironment(queue, clock, defaults));
    host.recordRecentLine({"Pip", "perform_signature", "Ta-da!", utcDecember7(22.0)});
    host.attendFlea("Pip");

    std::promise<bool> recorded;
    AgentDialogueLine diaryLine;
    diaryLine.text = "Dear diary, I <3 the wire.";
    host.channelStore().record("Nova", diaryLine, AgentDialogueChannel::diary_line, utcDecember7(18.0),
                               [&recorded](bool accepted) { recorded.set_value(accepted); });
    ASSERT_TRUE(recorded.get_future().get());

    const auto desktop = testing::scratchFolder("chapter-from-host");
    ExportEnvironment environment;
    environment.clock = &clock;
    environment.desktopFolder = [desktop] { return desktop; };
    testing::RecordingDesktop recorder;
    const auto file =
        TumblewickChapterExport::writeToDesktop(host, environment, testing::newYork(), recorder);

    ASSERT_TRUE(file);
    const std::string text = testing::readText(*file);
    EXPECT_NE(text.find("_**Pip** is currently spotlit._\n\n**1** lines in the recent feed."),
              std::string::npos);
    EXPECT_NE(text.find("**Nova** \u00B7 1:00\u202FPM\n\n> Dear diary, I <3 the wire.\n\n"),
              std::string::npos);
    EXPECT_NE(text.find("### Pip\n\n- _signature_  \u00B7  \"Ta-da!\"  \u00B7  5:00\u202FPM\n"),
              std::string::npos);
    EXPECT_EQ(recorder.revealed, std::vector<std::filesystem::path>{*file});
}

}  // namespace
}  // namespace tw
