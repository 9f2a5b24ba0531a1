// The story-arc card: when it shows, what it says, where it sits, and the store it reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "Tumblewick/shell/story_arc/arc_card.h"
#include "Tumblewick/shell/story_arc/arc_overlay_controller.h"
#include "platform/log.h"
#include "platform/testing/in_memory_key_value_store.h"
#include "platform/testing/manual_main_queue.h"

namespace tw {
namespace {

KeyValues arc(std::string status, std::string headline, std::string body, std::optional<std::int64_t> day) {
    KeyValues kv;
    kv.values[ARC_ACTIVE_ID_KEY] = std::string("arc-1");
    kv.values[ARC_ACTIVE_STATUS_KEY] = std::move(status);
    kv.values[ARC_ACTIVE_HEADLINE_KEY] = std::move(headline);
    kv.values[ARC_ACTIVE_BODY_KEY] = std::move(body);
    if (day) kv.values[ARC_ACTIVE_DAY_KEY] = *day;
    return kv;
}

TEST(ArcCard, ShowsOnlyForAnActiveArcWithHeadlineAndBodyAndCountsDaysFromOne) {
    struct Case {
        const char* what;
        KeyValues keys;
        std::optional<std::string> badge;  // none: the card is hidden
    };
    KeyValues wrongTypes = arc("active", "Big night", "Pip tries", 2);
    wrongTypes.values[ARC_ACTIVE_DAY_KEY] = std::string("2");  // not an integer: day 0
    KeyValues headlineNotText = arc("active", "x", "Pip tries", 2);
    headlineNotText.values[ARC_ACTIVE_HEADLINE_KEY] = KeyValues::Other{};
    const Case cases[] = {
        {"day 2", arc("active", "Big night", "Pip tries", 2), "DAY 3 OF 7"},
        {"no day", arc("active", "Big night", "Pip tries", std::nullopt), "DAY 1 OF 7"},
        {"past the week", arc("active", "Big night", "Pip tries", 9), "DAY 10 OF 7"},
        {"largest day", arc("active", "Big night", "Pip tries", std::numeric_limits<std::int64_t>::max()),
         "DAY 9223372036854775808 OF 7"},
        {"day as text", wrongTypes, "DAY 1 OF 7"},
        {"capitalised status", arc("Active", "Big night", "Pip tries", 2), std::nullopt},
        {"finished", arc("finished", "Big night", "Pip tries", 2), std::nullopt},
        {"empty headline", arc("active", "", "Pip tries", 2), std::nullopt},
        {"empty body", arc("active", "Big night", "", 2), std::nullopt},
        {"headline not text", headlineNotText, std::nullopt},
        {"nothing stored", KeyValues{}, std::nullopt},
    };
    for (const Case& c : cases) {
        testing::InMemoryKeyValueStore store;
        store.values = c.keys;
        const std::optional<ArcCard> card = arcCardToShow(ArcKVSReader(store));
        ASSERT_EQ(card.has_value(), c.badge.has_value()) << c.what;
        if (!card) continue;
        EXPECT_EQ(arcDayBadge(card->dayIndex), *c.badge) << c.what;
        EXPECT_EQ(card->headline, "Big night");
        EXPECT_EQ(card->body, "Pip tries");
    }
    EXPECT_EQ(arcDayBadge(std::numeric_limits<std::int64_t>::min()), "DAY -9223372036854775807 OF 7");
}

TEST(ArcCard, SitsTwentyFourPointsInFromTheTopRightOfTheUsableArea) {
    struct Case {
        std::optional<Rect> area;
        Rect expected;
    };
    const Case cases[] = {
        {Rect{0, 0, 1920, 1080}, {1576, 24, 320, 88}},
        {Rect{0, 27, 1512, 955}, {1168, 51, 320, 88}},  // below a top panel
        {Rect{1920, 0, 1280, 1024}, {2856, 24, 320, 88}},
        {std::nullopt, {0, 0, 320, 88}},
    };
    for (const Case& c : cases) EXPECT_EQ(arcCardFrame(c.area), c.expected);
}

struct RecordingPanel final : ArcCardPanel {
    struct Log {
        int made = 0, closed = 0, fronted = 0;
        std::vector<ArcCard> cards;
    };
    explicit RecordingPanel(Log& log) : log(log) { ++log.made; }
    ~RecordingPanel() override { ++log.closed; }
    void configure(const ArcCard& card) override { log.cards.push_back(card); }
    void orderFront() override { ++log.fronted; }
    Log& log;
};

TEST(ArcOverlayController, FollowsTheStoreOnEveryChangeAndEveryThirtySeconds) {
    testing::InMemoryKeyValueStore store;
    testing::ManualMainQueue queue;
    RecordingPanel::Log panels;
    auto controller = std::make_unique<ArcOverlayController>(
        store, queue, [&] { return std::make_unique<RecordingPanel>(panels); });

    store.values = arc("active", "Big night", "Pip tries", 0);
    controller->start();
    EXPECT_EQ(store.synchronizeCount, 1);
    EXPECT_TRUE(controller->cardShown());
    EXPECT_EQ(panels.made, 1);

    // A change from outside hides the card as soon as the main queue runs.
    store.changeExternally(arc("done", "Big night", "Pip tries", 0));
    EXPECT_TRUE(controller->cardShown());
    queue.runPending();
    EXPECT_FALSE(controller->cardShown());
    EXPECT_EQ(panels.closed, 1);

    // Without a notification the 30-second check finds the new arc; a new panel is made.
    store.values = arc("active", "Day two", "Rex sulks", 1);
    queue.advance(29);
    EXPECT_FALSE(controller->cardShown());
    queue.advance(1);
    EXPECT_TRUE(controller->cardShown());
    EXPECT_EQ(panels.made, 2);
    EXPECT_EQ(panels.cards.back(), (ArcCard{1, "Day two", "Rex sulks"}));

    // Every qualifying refresh reconfigures and fronts the same panel.
    queue.advance(30);
    EXPECT_EQ(panels.made, 2);
    EXPECT_EQ(panels.fronted, 3);

    // A change that arrives after the controller is gone does nothing.
    store.changeExternally(arc("done", "", "", 0));
    controller.reset();
    EXPECT_EQ(panels.closed, 2);
    queue.runPending();
    queue.advance(60);
    EXPECT_EQ(panels.closed, 2);
}

TEST(KeyValueFile, ReadsTextAndIntegersAndTreatsABadFileAsEmptyWithoutTouchingIt) {
    const auto dir = std::filesystem::temp_directory_path() / ("tw_kv_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "store.json";
    struct Case {
        const char* text;
        std::optional<std::string> headline;
        std::int64_t day;
        int logLines;
    };
    const Case cases[] = {
        {R"({"tw_arc_active_headline": "Big night", "tw_arc_active_day": 4})", "Big night", 4, 0},
        {R"({"tw_arc_active_headline": 7, "tw_arc_active_day": 4.5})", std::nullopt, 0, 0},
        {R"({"tw_arc_active_day": 18446744073709551615})", std::nullopt, 0, 0},
        {R"({"tw_arc_active_headline": "Big ni)", std::nullopt, 0, 1},
        {R"(["tw_arc_active_headline"])", std::nullopt, 0, 1},
        {nullptr, std::nullopt, 0, 0},  // no file yet
    };
    for (const Case& c : cases) {
        std::filesystem::remove(file);
        if (c.text != nullptr) std::ofstream(file) << c.text;
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        const KeyValues kv = loadKeyValuesFile(file);
        log::setSinkForTesting(nullptr);
        EXPECT_EQ(kv.string(ARC_ACTIVE_HEADLINE_KEY), c.headline) << (c.text ? c.text : "missing");
        EXPECT_EQ(kv.longLong(ARC_ACTIVE_DAY_KEY), c.day);
        EXPECT_EQ(static_cast<int>(lines.size()), c.logLines);
        if (c.text != nullptr) {
            std::ifstream in(file);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.text);  // left as it was
        } else {
            EXPECT_FALSE(std::filesystem::exists(file));
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tw
