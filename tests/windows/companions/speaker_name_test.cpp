// Custom fleas in the live windows by their current names, and by their ids wherever
// a line is kept or handed on.
#include "windows/companions/speaker_name.h"

#include <gtest/gtest.h>

#include <functional>

#include "agent/host/tumblewick_agent_host.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/unicode.h"
#include "tests/windows/exports/exports_test_support.h"
#include "windows/companions/tumblewick_dialogue_inspector.h"
#include "windows/companions/tumblewick_drag_down_log.h"
#include "windows/companions/tumblewick_recent_thoughts_panel.h"
#include "windows/exports/chapter_document.h"
#include "windows/exports/share_card_content.h"
#include "windows/inner_life/inner_life_panel.h"
#include "windows/watch/tumblewick_watch_panel.h"

namespace tw {
namespace {

const Uuid quillId = *Uuid::parse("D79EAA27-5B1C-4E0B-9C3A-0F1E2D3C4B5A");
const Uuid goneId = *Uuid::parse("0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");

RosterFlea quill(std::string name) {
    RosterFlea flea;
    flea.id = quillId;
    flea.name = std::move(name);
    return flea;
}

TEST(SpeakerName, IsACustomFleasNameForItsIdAndOtherwiseWhatWasRecorded) {
    const std::vector<RosterFlea> fleas{quill("Quill")};
    const std::pair<std::string, std::string> cases[] = {
        {"Pip", "Pip"},
        {quillId.uuidString(), "Quill"},
        {unicode::lowercased(quillId.uuidString()), "Quill"},
        {goneId.uuidString(), goneId.uuidString()},  // deleted since it spoke
        {"", ""},
    };
    for (const auto& [recorded, shown] : cases) EXPECT_EQ(speakerName(recorded, fleas), shown) << recorded;
}

TEST(SpeakerName, LiveWindowsShowTheNameWhenTheyDrawWhileRecordsAndExportsKeepTheId) {
    testing::ManualMainQueue queue;
    testing::ManualClock clock(testing::utcDecember7(22.0));
    testing::InMemoryDefaults defaults;
    TumblewickAgentHost host(testing::hostEnvironment(queue, clock, defaults));
    const std::string id = quillId.uuidString();
    host.recordRecentLine({id, "perform_signature", "Ta-da!", clock.now()});
    host.recordDialogueDebug({.flea = id, .generator = "template", .line = "Ta-da!", .at = clock.now()});

    std::vector<RosterFlea> fleas{quill("Quill")};
    const CustomFleaList list = [&fleas] { return fleas; };
    const auto joined = [](const auto& runs) {
        std::string text;
        for (const auto& run : runs) text += run.text;
        return text;
    };
    struct Place {
        const char* name;
        std::function<std::string()> shown;
        bool byName;
    };
    const Place places[] = {
        {"recent thoughts",
         [&] { return joined(TumblewickRecentThoughtsPanel::hostSource(host, clock, list)()); }, true},
        {"drag-down log",
         [&] { return TumblewickDragDownLog::hostSource(host, clock, list)().at(0).fleaName; }, true},
        {"dialogue inspector",
         [&] { return joined(TumblewickDialogueInspector::hostSource(host, clock, list)().runs); }, true},
        {"watch view",
         [&] { return TumblewickWatchPanel::hostSource(host, list)().recentLines.at(0).fleaName; }, true},
        {"inner life",
         [&] { return TumblewickInnerLifePanel::hostSource(host, clock, list).content(id, "Q").title; },
         true},
        {"records", [&] { return host.recentLines().at(0).fleaName + host.dialogueDebug().at(0).flea; },
         false},
        {"chapter",
         [&] {
             return renderChapter({host.recentLines(), std::nullopt}, {}, clock.now(), testing::newYork());
         },
         false},
        {"share card",
         [&] { return shareCardTexts(chooseShareCardMoment({}, host.recentLines())).attribution; }, false},
    };
    for (const char* name : {"Quill", "Quill the Second"}) {
        fleas[0].name = name;
        for (const Place& place : places) {
            const std::string shown = place.shown();
            EXPECT_EQ(shown.find(name) != std::string::npos, place.byName) << place.name << ": " << shown;
            EXPECT_EQ(shown.find(id) != std::string::npos, !place.byName) << place.name << ": " << shown;
        }
    }
}

}  // namespace
}  // namespace tw
