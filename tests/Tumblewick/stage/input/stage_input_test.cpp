#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tumblewick/stage/hotkey_dispatcher.h"
#include "Tumblewick/stage/stage_input_router.h"
#include "platform/log.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/x11/input_hub.h"
#include "platform/x11/mac_key_code_table.h"

namespace tw {
namespace {

constexpr std::uint32_t kT = 28, kQ = 24, kSuperL = 133, kShiftL = 50, kAltL = 64;

class CountingXP final : public CustomFleaXPSink {
   public:
    std::int64_t total = 0;
    void addXPToAll(std::int64_t amount) override { total += amount; }
};

class RecordingActions final : public HotkeyActions {
   public:
    std::vector<std::string> calls;
    std::optional<std::filesystem::path> written;
    void toggleRecentThoughts() override { calls.push_back("thoughts"); }
    void toggleWatchPanel() override { calls.push_back("watch"); }
    void toggleDragDownLog() override { calls.push_back("log"); }
    void toggleDialogueInspector() override { calls.push_back("inspector"); }
    std::optional<std::filesystem::path> writeChapterToDesktop() override {
        calls.push_back("chapter");
        return written;
    }
    std::optional<std::filesystem::path> writeShareCardToDesktop() override {
        calls.push_back("card");
        return written;
    }
};

// The strip and the tray popover: two views on one hub, one hotkey dispatcher.
struct TwoViews {
    explicit TwoViews(InputHub& hub, testing::ManualMainQueue& queue)
        : strip(hub, stripEnergy, queue, [this](const MousePress& p) { routed.push_back(p); }),
          popover(hub, popoverEnergy, queue),
          hotkeys(hub, actions, queue) {}
    CountingXP stripXP, popoverXP;
    EnergySystem stripEnergy{stripXP}, popoverEnergy{popoverXP};
    std::vector<MousePress> routed;
    StageInputRouter strip, popover;
    RecordingActions actions;
    HotkeyDispatcher hotkeys;
};

class StageInputTest : public ::testing::Test {
   protected:
    void SetUp() override {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
        hub.setGlobalInputAvailable();
    }
    void TearDown() override { log::setSinkForTesting(nullptr); }

    void tap(std::vector<std::uint32_t> held, std::uint32_t key) {
        const auto keysym = [](std::uint32_t k) -> std::uint32_t {
            return k == kSuperL ? XK_Super_L : k == kShiftL ? XK_Shift_L : k == kAltL ? XK_Alt_L : 0;
        };
        for (auto k : held) hub.globalKey(k, keysym(k), true, false, ++time);
        hub.globalKey(key, keysym(key), true, false, ++time);
        hub.globalKey(key, keysym(key), false, false, ++time);
        for (auto k : held) hub.globalKey(k, keysym(k), false, false, ++time);
    }

    testing::ManualMainQueue queue;
    InputHub hub{queue};
    TwoViews views{hub, queue};
    std::vector<std::string> lines;
    std::uint64_t time = 0;
};

TEST_F(StageInputTest, EveryViewCountsADesktopKeyButTheCommandKeysAndAHotkeyRunsOnce) {
    tap({}, kT);
    tap({}, kSuperL);
    tap({kShiftL}, kQ);
    tap({kSuperL, kShiftL}, kQ);               // not a hotkey: a key press, nothing else
    tap({kSuperL, kAltL, kShiftL}, kT);        // other modifiers do not matter
    EXPECT_TRUE(views.actions.calls.empty());  // the action runs after the press is handled
    queue.runPending();
    EXPECT_EQ(views.actions.calls, std::vector<std::string>{"thoughts"});
    for (const auto* energy : {&views.stripEnergy, &views.popoverEnergy}) {
        EXPECT_EQ(energy->newKeys, 4);
        EXPECT_EQ(energy->value, 24);
    }
    EXPECT_EQ(views.stripXP.total, 4);
    EXPECT_EQ(views.popoverXP.total, 4);
}

TEST_F(StageInputTest, AModifierPressedAlonePrintsNothingAndAddsNothingWhereverItLands) {
    struct Case {
        std::uint32_t xKeycode;
        std::uint32_t keysym;  // 0: known by its position only
        const char* name;
    };
    const Case modifiers[] = {
        {kShiftL, XK_Shift_L, "Shift"},
        {62, XK_Shift_R, "right Shift"},
        {kSuperL, XK_Super_L, "Super"},
        {134, XK_Super_R, "right Super"},
        {37, XK_Control_L, "Control"},
        {105, XK_Control_R, "right Control"},
        {kAltL, XK_Alt_L, "Alt"},
        {kAltL, XK_Meta_L, "Alt+Shift"},
        {108, XK_ISO_Level3_Shift, "AltGr"},
        {66, XK_Caps_Lock, "Caps Lock"},
        {kShiftL, 0, "Shift by place"},
        {kSuperL, 0, "Super by place"},
        {37, 0, "Control by place"},
        {kAltL, 0, "Alt by place"},
    };
    for (const Case& c : modifiers) {
        EXPECT_EQ(keyPressedLine(translateXKey(c.xKeycode, c.keysym)), std::nullopt) << c.name;
        hub.globalKey(c.xKeycode, c.keysym, true, false, ++time);
        hub.globalKey(c.xKeycode, c.keysym, false, false, ++time);
        EXPECT_FALSE(hub.localKey(c.xKeycode, c.keysym, false, false, false, ++time)) << c.name;
    }
    queue.runPending();
    EXPECT_EQ(views.stripEnergy.newKeys, 0);
    EXPECT_EQ(views.stripEnergy.value, 0);
    EXPECT_EQ(views.stripXP.total, 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(views.actions.calls.empty());

    // The key they modify still counts and prints.
    EXPECT_EQ(keyPressedLine(translateXKey(kQ, XK_q)), "⌨️ Key pressed: 12");
    EXPECT_FALSE(hub.localKey(kQ, XK_q, true, false, false, ++time));
    EXPECT_EQ(views.stripEnergy.newKeys, 1);
}

TEST_F(StageInputTest, ClicksWindEveryViewPrintWhereTheyLandedAndRouteAfterTheHandler) {
    hub.globalButton(1, {512, 780}, 1080, ++time);
    hub.localButton(3, {20, 30}, 100, true, ++time);
    hub.globalButton(4, {512, 780}, 1080, ++time);  // the wheel is not a click
    for (const auto* energy : {&views.stripEnergy, &views.popoverEnergy}) {
        EXPECT_EQ(energy->value, 36);
        EXPECT_TRUE(energy->clicked);
    }
    EXPECT_EQ(views.stripXP.total, 4);
    const std::vector<std::string> expected = {
        "🖱️ Global click detected at (512.0, 300.0)", "🔔 Click added! Energy now: 18.0",
        "🖱️ Global click detected at (512.0, 300.0)", "🔔 Click added! Energy now: 18.0",
        "🖱️ Local click detected at (20.0, 70.0)",    "🔔 Click added! Energy now: 36.0",
        "🖱️ Local click detected at (20.0, 70.0)",    "🔔 Click added! Energy now: 36.0",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(views.routed.empty());
    queue.runPending();
    EXPECT_EQ(views.routed,
              (std::vector<MousePress>{{MouseButton::left, {512, 300}, InputOrigin::global},
                                       {MouseButton::right, {20, 70}, InputOrigin::local, true}}));
}

TEST_F(StageInputTest, AViewGoneBeforeItsClickIsRoutedNeitherRoutesNorCounts) {
    auto energy = std::make_unique<EnergySystem>(views.stripXP);
    int routed = 0;
    auto view = std::make_unique<StageInputRouter>(hub, *energy, queue, [&](const MousePress&) { ++routed; });
    hub.globalButton(1, {0, 0}, 10, ++time);
    view.reset();
    queue.runPending();
    hub.globalButton(1, {0, 0}, 10, ++time);
    EXPECT_EQ(routed, 0);
    EXPECT_EQ(energy->value, 18);
}

TEST_F(StageInputTest, ALocalHotkeyIsSwallowedAndOtherKeysPassOn) {
    EXPECT_TRUE(hub.localKey(kT, XK_T, true, true, false, ++time));
    EXPECT_FALSE(hub.localKey(kQ, XK_Q, true, true, false, ++time));
    EXPECT_FALSE(hub.localKey(kT, XK_t, false, false, false, ++time));
    queue.runPending();
    EXPECT_EQ(views.actions.calls, std::vector<std::string>{"thoughts"});
    EXPECT_EQ(views.stripEnergy.newKeys, 3);
}

TEST(RunHotkey, PrintsTheLinesOfWhereThePressLanded) {
    struct Case {
        Hotkey hotkey;
        InputOrigin origin;
        bool writes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {Hotkey::chapter, InputOrigin::global, true, {"📜 Exported chapter to /d/Tumblewick-x"}},
        {Hotkey::chapter, InputOrigin::local, true, {"📜 Exported chapter to /d/Tumblewick-x"}},
        {Hotkey::chapter,
         InputOrigin::global,
         false,
         {"⚠️ Chapter export failed (couldn't write to Desktop)"}},
        {Hotkey::chapter, InputOrigin::local, false, {"⚠️ Chapter export failed"}},
        {Hotkey::shareCard, InputOrigin::global, true, {"🖼  Share card → /d/Tumblewick-x"}},
        {Hotkey::shareCard, InputOrigin::local, true, {}},
        {Hotkey::shareCard, InputOrigin::global, false, {}},
        {Hotkey::watchPanel, InputOrigin::global, true, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
        RecordingActions actions;
        if (c.writes) actions.written = "/d/Tumblewick-x";
        runHotkey(c.hotkey, c.origin, actions);
        EXPECT_EQ(actions.calls.size(), 1u);
        EXPECT_EQ(lines, c.lines) << static_cast<int>(c.hotkey) << " " << static_cast<int>(c.origin);
    }
    log::setSinkForTesting(nullptr);
}

}  // namespace
}  // namespace tw
