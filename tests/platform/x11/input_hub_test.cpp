#include "platform/x11/input_hub.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "platform/log.h"
#include "platform/testing/manual_main_queue.h"
#include "tests/platform/x11/input_recorder.h"

namespace tw {
namespace {

constexpr std::uint32_t kT = 28, kC = 54, kSuperL = 133, kSuperR = 134, kShiftL = 50, kControl = 37,
                        kCaps = 66;

using Delivery = testing::Delivery;
using Recorder = testing::InputRecorder;

std::uint32_t keysymOf(std::uint32_t keycode) {
    switch (keycode) {
        case kT:
            return XK_t;
        case kC:
            return XK_c;
        case kSuperL:
            return XK_Super_L;
        case kSuperR:
            return XK_Super_R;
        case kShiftL:
            return XK_Shift_L;
        case kControl:
            return XK_Control_L;
        case kCaps:
            return XK_Caps_Lock;
        default:
            return 0;
    }
}

class InputHubTest : public ::testing::Test {
   protected:
    void SetUp() override {
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
        hub.setGlobalInputAvailable();
    }
    void TearDown() override { log::setSinkForTesting(nullptr); }

    void down(std::uint32_t key, bool repeat = false) {
        hub.globalKey(key, keysymOf(key), true, repeat, ++time);
    }
    void up(std::uint32_t key) { hub.globalKey(key, keysymOf(key), false, false, ++time); }

    testing::ManualMainQueue queue;
    InputHub hub{queue};
    Recorder recorder{hub};
    std::vector<std::string> lines;
    std::uint64_t time = 1000;
};

KeyPress global(std::uint16_t code, bool command = false, bool shift = false) {
    return {code, command, shift, InputOrigin::global};
}

TEST_F(InputHubTest, DesktopKeysCarryTheModifiersHeldAndModifiersAloneNeverCount) {
    struct Step {
        bool press;
        std::uint32_t key;
        bool repeat = false;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<Delivery> expected;
    };
    const Case cases[] = {
        {"plain key", {{true, kT}, {false, kT}}, {global(17)}},
        {"Shift, Control and Caps Lock alone",
         {{true, kShiftL},
          {false, kShiftL},
          {true, kControl},
          {false, kControl},
          {true, kCaps},
          {false, kCaps}},
         {}},
        {"Command keys are presses of their own",
         {{true, kSuperL}, {false, kSuperL}, {true, kSuperR}, {false, kSuperR}},
         {global(55), global(54)}},
        {"Command-Shift-T",
         {{true, kSuperL}, {true, kShiftL}, {true, kT}, {false, kT}, {false, kShiftL}, {false, kSuperL}},
         {global(55), global(17, true, true)}},
        {"Control does not hide Command-Shift",
         {{true, kControl}, {true, kSuperR}, {true, kShiftL}, {true, kT}},
         {global(54, false, false), global(17, true, true)}},
        {"modifiers end with their release",
         {{true, kSuperL}, {true, kShiftL}, {false, kSuperL}, {false, kShiftL}, {true, kT}},
         {global(55), global(17)}},
        {"X code 54 is C, not Command", {{true, kC}}, {global(8)}},
        {"repeats count once, whether flagged or not",
         {{true, kT}, {true, kT, true}, {true, kT}, {false, kT}, {true, kT}},
         {global(17), global(17)}},
    };
    for (const auto& c : cases) {
        InputHub fresh{queue};
        fresh.setGlobalInputAvailable();
        Recorder seen{fresh};
        for (const auto& step : c.steps) {
            fresh.globalKey(step.key, keysymOf(step.key), step.press, step.repeat, ++time);
        }
        EXPECT_EQ(seen.seen, c.expected) << c.name;
    }
}

TEST_F(InputHubTest, ButtonsOneAndThreeAreClicksWithABottomLeftOriginAndTheShiftHeld) {
    for (int button = 1; button <= 9; ++button) hub.globalButton(button, {100, 30}, 1080, ++time);
    down(kShiftL);
    hub.globalButton(1, {100, 30}, 1080, ++time);
    up(kShiftL);
    for (int button = 1; button <= 7; ++button) hub.localButton(button, {5, 10}, 200, button == 3, ++time);
    const std::vector<Delivery> expected = {
        MousePress{MouseButton::left, {100, 1050}, InputOrigin::global},
        MousePress{MouseButton::right, {100, 1050}, InputOrigin::global},
        MousePress{MouseButton::left, {100, 1050}, InputOrigin::global, true},
        MousePress{MouseButton::left, {5, 190}, InputOrigin::local},
        MousePress{MouseButton::right, {5, 190}, InputOrigin::local, true},
    };
    EXPECT_EQ(recorder.seen, expected);
}

// The same physical press reaches us twice when it lands in our own window: raw from
// the desktop and as our window's event, in either order. It counts once, as local.
TEST_F(InputHubTest, APressInOurWindowCountsOnceAsLocalWhicheverCopyComesFirst) {
    bool ours = true;
    hub.setLocalTargetProbe([&](InputHub::PressKind, std::optional<Point>) { return ours; });
    const KeyPress localT{17, false, false, InputOrigin::local};
    const MousePress localClick{MouseButton::left, {5, 190}, InputOrigin::local};

    // Raw first: it waits for the local copy.
    hub.globalKey(kT, XK_t, true, false, 2000);
    EXPECT_TRUE(recorder.seen.empty());
    EXPECT_FALSE(hub.localKey(kT, XK_t, false, false, false, 2000));
    hub.globalButton(1, {10, 10}, 1080, 2001);
    hub.localButton(1, {5, 10}, 200, false, 2001);
    // Local first: the raw copy is dropped.
    hub.globalKey(kT, XK_t, false, false, 2002);
    EXPECT_FALSE(hub.localKey(kT, XK_t, false, false, false, 2003));
    hub.globalKey(kT, XK_t, true, false, 2003);
    hub.localButton(3, {5, 10}, 200, false, 2004);
    hub.globalButton(3, {10, 10}, 1080, 2004);
    queue.advance(1);
    EXPECT_EQ(recorder.seen,
              (std::vector<Delivery>{localT, localClick, localT,
                                     MousePress{MouseButton::right, {5, 190}, InputOrigin::local}}));

    // A press that could have landed with us but did not (no local copy) counts as global
    // once the wait is over; one that could not is global at once.
    recorder.seen.clear();
    hub.globalButton(1, {10, 10}, 1080, 3000);
    EXPECT_EQ(hub.pendingCount(), 1u);
    queue.advance(InputHub::kLocalCopyWait / 2);
    EXPECT_TRUE(recorder.seen.empty());
    queue.advance(InputHub::kLocalCopyWait);
    ours = false;
    hub.globalButton(3, {10, 10}, 1080, 3001);
    EXPECT_EQ(recorder.seen,
              (std::vector<Delivery>{MousePress{MouseButton::left, {10, 1070}, InputOrigin::global},
                                     MousePress{MouseButton::right, {10, 1070}, InputOrigin::global}}));
    EXPECT_EQ(hub.pendingCount(), 0u);

    // A press our own grab took never comes locally: it counts as soon as that is known,
    // as made in our window, which had the keyboard.
    recorder.seen.clear();
    ours = true;
    hub.globalKey(kT, XK_t, false, false, 3999);
    hub.globalKey(kT, XK_t, true, false, 4000);
    hub.globalKeyTakenByGrab(kT, 4000);
    EXPECT_EQ(recorder.seen, (std::vector<Delivery>{localT}));
    queue.advance(1);
    EXPECT_EQ(recorder.seen.size(), 1u);
}

// Automation (xdotool, XTest) presses keys faster than the clock's millisecond.
TEST_F(InputHubTest, PressesSharingAMillisecondAreStillSeparatePresses) {
    bool ours = false;
    hub.setLocalTargetProbe([&](InputHub::PressKind, std::optional<Point>) { return ours; });
    for (int i = 0; i < 3; ++i) {
        hub.globalKey(kT, XK_t, true, false, 500);
        hub.globalKey(kT, XK_t, false, false, 500);
        hub.globalButton(1, {0, 0}, 10, 500);
    }
    EXPECT_EQ(recorder.seen.size(), 6u);
    ours = true;
    for (int i = 0; i < 2; ++i) {
        hub.globalKey(kT, XK_t, true, false, 600);
        hub.globalKey(kT, XK_t, false, false, 600);
    }
    hub.localKey(kT, XK_t, false, false, false, 600);
    hub.localKey(kT, XK_t, false, false, false, 600);
    hub.localKey(kT, XK_t, false, false, false, 600);  // one more local than desktop copies so far
    hub.globalKey(kT, XK_t, true, false, 600);         // ...whose desktop copy comes late
    queue.advance(1);
    EXPECT_EQ(recorder.seen.size(), 9u);
    for (std::size_t i = 6; i < 9; ++i)
        EXPECT_EQ(std::get<KeyPress>(recorder.seen[i]).origin, InputOrigin::local);
}

TEST_F(InputHubTest, ASwallowedLocalHotkeyStaysSwallowedThroughItsRepeatsAndLateCopies) {
    recorder.swallow = true;
    EXPECT_TRUE(hub.localKey(kT, XK_T, true, true, false, 10));
    EXPECT_TRUE(hub.localKey(kT, XK_T, true, true, true, 11));  // auto-repeat: swallowed, not counted
    // The desktop copy counted first (the press raced our focus): the local copy is not
    // counted again but is still kept from the control.
    hub.globalKey(kT, XK_t, false, false, 12);
    hub.globalKey(kT, XK_t, true, false, 13);
    EXPECT_TRUE(hub.localKey(kT, XK_T, true, true, false, 13));
    recorder.swallow = false;
    EXPECT_FALSE(hub.localKey(kC, XK_c, false, false, false, 14));
    EXPECT_FALSE(hub.localKey(kC, XK_c, false, false, true, 15));
    EXPECT_EQ(recorder.seen.size(), 3u);
}

TEST_F(InputHubTest, WithoutDesktopInputLocalPressesStillCountAndTheReasonIsSaidOnce) {
    InputHub localOnly{queue};
    Recorder seen{localOnly};
    localOnly.reportGlobalInputUnavailable("no X display");
    localOnly.reportGlobalInputUnavailable("no X display");
    EXPECT_FALSE(localOnly.globalInputAvailable());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("(no X display)"), std::string::npos);
    // Without desktop copies to pair with, equal timestamps are no reason to drop a press.
    localOnly.localKey(kT, XK_t, false, false, false, 0);
    localOnly.localKey(kT, XK_t, false, false, false, 0);
    localOnly.localButton(1, {0, 0}, 10, false, 0);
    localOnly.localButton(1, {0, 0}, 10, false, 0);
    EXPECT_EQ(seen.seen.size(), 4u);
}

TEST_F(InputHubTest, SubscriptionsEndWithTheirOwnerEvenMidDeliveryOrAfterTheHub) {
    struct Leaver final : InputSubscriber {
        InputMonitor::Subscription* other = nullptr;
        int keys = 0;
        bool keyDown(const KeyPress&) override {
            ++keys;
            other->reset();
            return false;
        }
    };
    Leaver leaver;
    auto leaverSubscription = hub.subscribe(leaver);
    leaver.other = &recorder.subscription;
    down(kT);
    down(kC);
    EXPECT_EQ(leaver.keys, 2);
    EXPECT_EQ(recorder.seen.size(), 1u);  // unsubscribed by the first press, after it was served

    InputMonitor::Subscription outlives;
    {
        InputHub shortLived{queue};
        outlives = shortLived.subscribe(leaver);
    }
    outlives.reset();  // the hub is gone: nothing to do, nothing to crash
}

}  // namespace
}  // namespace tw
