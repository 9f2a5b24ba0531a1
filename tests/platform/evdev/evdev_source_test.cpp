#include "platform/evdev/evdev_source.h"

#include <X11/keysym.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/evdev/device_watch.h"
#include "platform/log.h"
#include "platform/testing/manual_main_queue.h"
#include "platform/x11/input_hub.h"
#include "tests/platform/qt/qt_event_pump.h"
#include "tests/platform/x11/input_recorder.h"

namespace tw {
namespace {

using Delivery = testing::Delivery;

input_event record(std::uint16_t type, std::uint16_t code, std::int32_t value, std::uint64_t ms = 0) {
    input_event event{};
    event.input_event_sec = static_cast<decltype(event.input_event_sec)>(ms / 1000);
    event.input_event_usec = static_cast<decltype(event.input_event_usec)>(ms % 1000 * 1000);
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}
input_event key(std::uint16_t code, std::int32_t value, std::uint64_t ms = 0) {
    return record(EV_KEY, code, value, ms);
}
input_event rel(std::uint16_t code, std::int32_t value) { return record(EV_REL, code, value); }
input_event frameEnd() { return record(EV_SYN, SYN_REPORT, 0); }

KeyPress global(std::uint16_t code, bool command = false, bool shift = false) {
    return {code, command, shift, InputOrigin::global};
}
MousePress click(MouseButton button, Point bottomLeft, InputOrigin origin = InputOrigin::global) {
    return {button, bottomLeft, origin};
}

// Device records through pipes into one source that feeds a real hub.
class Rig {
   public:
    explicit Rig(Point start = {960, 540})
        : source(
              hub,
              [] {
                  return Rect{0, 0, 1920, 1080};
              },
              start) {
        for (auto& device : pipes) {
            EXPECT_EQ(::pipe2(device.data(), O_NONBLOCK | O_CLOEXEC), 0);
            source.addDevice(device[0], "test device");
        }
    }
    ~Rig() {
        for (auto& device : pipes) {
            if (device[1] >= 0) ::close(device[1]);
        }
    }
    // Writes the records (the first `splitAt` bytes on their own when given) and waits
    // until the source has read them.
    void feed(int device, const std::vector<input_event>& records, std::size_t splitAt = 0) {
        const auto* bytes = reinterpret_cast<const char*>(records.data());
        const std::size_t size = records.size() * sizeof(input_event);
        if (splitAt > 0) {
            write(device, bytes, splitAt);
            bytes += splitAt;
        }
        write(device, bytes, size - splitAt);
    }
    void close(int device) {
        const auto before = source.deviceCount();
        ::close(std::exchange(pipes[device][1], -1));
        EXPECT_TRUE(pumpUntil([&] { return source.deviceCount() < before; }));
    }

    testing::ManualMainQueue queue;
    InputHub hub{queue};
    testing::InputRecorder recorder{hub};
    EvdevSource source;
    std::array<std::array<int, 2>, 2> pipes{};

   private:
    void write(int device, const char* bytes, std::size_t size) {
        ASSERT_EQ(::write(pipes[device][1], bytes, size), static_cast<ssize_t>(size));
        EXPECT_TRUE(pumpUntil([&] {
            int unread = 0;
            return ::ioctl(pipes[device][0], FIONREAD, &unread) == 0 && unread == 0;
        }));
    }
};

struct Step {
    int device = 0;
    std::vector<input_event> records;
    bool close = false;  // the device goes away after its records
    std::size_t splitAt = 0;
};

TEST(EvdevSourceTest, DeviceRecordsWindTheHubAsTheXServersRawEventsDo) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<Delivery> expected;
        Point pointer = {960, 540};
        std::uint64_t motions = 0;
    };
    const Case cases[] = {
        {"a key counts once: not its repeats, not its release, even split across reads",
         {{0, {key(KEY_T, 1), key(KEY_T, 2), key(KEY_T, 2), key(KEY_T, 0), key(KEY_T, 1)}, false, 30}},
         {global(17), global(17)}},
        {"modifier keys alone never count",
         {{0,
           {key(KEY_LEFTSHIFT, 1), key(KEY_RIGHTSHIFT, 1), key(KEY_LEFTCTRL, 1), key(KEY_LEFTALT, 1),
            key(KEY_RIGHTALT, 1), key(KEY_CAPSLOCK, 1), key(KEY_NUMLOCK, 1), key(KEY_SCROLLLOCK, 1)}}},
         {}},
        {"Super+Shift+T is one hotkey press however long T is held",
         {{0,
           {key(KEY_LEFTMETA, 1), key(KEY_LEFTSHIFT, 1), key(KEY_T, 1), key(KEY_T, 2), key(KEY_T, 2),
            key(KEY_T, 0), key(KEY_LEFTSHIFT, 0), key(KEY_LEFTMETA, 0)}}},
         {global(55), global(17, true, true)}},
        {"keys beyond X's key codes and joystick buttons are not presses",
         {{0, {key(KEY_OK, 1), key(BTN_SOUTH, 1), key(BTN_TOUCH, 1)}}},
         {}},
        {"left and right presses click where the pointer was moved; middle, wheel, releases do not",
         {{0,
           {rel(REL_X, 100), rel(REL_Y, -40), frameEnd(), key(BTN_LEFT, 1), frameEnd(), key(BTN_LEFT, 0),
            key(BTN_RIGHT, 1), key(BTN_MIDDLE, 1), key(BTN_SIDE, 1), rel(REL_WHEEL, -1), frameEnd(),
            rel(REL_HWHEEL, 1), frameEnd()}}},
         {click(MouseButton::left, {1060, 580}), click(MouseButton::right, {1060, 580})},
         {1060, 500},
         1},
        {"motion of every pointer adds up, once per frame, within the screen",
         {{0, {rel(REL_X, -5000), rel(REL_Y, 5000), frameEnd()}}, {1, {rel(REL_X, 7), frameEnd()}}},
         {},
         {7, 1079},
         2},
        {"keys held on a device that goes away are released",
         {{0, {key(KEY_LEFTMETA, 1)}, true}, {1, {key(KEY_T, 1)}}},
         {global(55), global(17)}},
        {"lost records drop the rest of their frame and release held keys",
         {{0,
           {key(KEY_LEFTMETA, 1), record(EV_SYN, SYN_DROPPED, 0), key(KEY_A, 1), rel(REL_X, 50), frameEnd(),
            key(KEY_T, 1)}}},
         {global(55), global(17)}},
    };
    std::vector<std::string> lines;
    log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
    for (const auto& c : cases) {
        Rig rig;
        rig.hub.setGlobalInputAvailable();
        for (const auto& step : c.steps) {
            rig.feed(step.device, step.records, step.splitAt);
            if (step.close) rig.close(step.device);
        }
        EXPECT_EQ(rig.recorder.seen, c.expected) << c.name;
        EXPECT_EQ(rig.hub.pointerPosition().value_or(Point{960, 540}), c.pointer) << c.name;
        EXPECT_EQ(rig.hub.pointerMotions().value_or(0), c.motions) << c.name;
    }
    log::setSinkForTesting(nullptr);
}

// The kernel stamps a press a little before XWayland hands its copy to our window;
// whichever copy comes first, the press counts once, as ours.
TEST(EvdevSourceTest, APressThatAlsoReachesOurWindowCountsOnce) {
    Rig rig;
    rig.hub.setGlobalInputAvailable();
    rig.hub.setCopyTimeTolerance(100);
    rig.hub.setLocalTargetProbe([](InputHub::PressKind, std::optional<Point>) { return true; });
    constexpr std::uint32_t xT = KEY_T + 8;

    rig.feed(0, {key(KEY_T, 1, 5000), key(KEY_T, 0, 5050)});
    rig.hub.localKey(xT, XK_t, false, false, false, 5012);
    rig.hub.localKey(xT, XK_t, false, false, false, 6000);
    rig.feed(0, {key(KEY_T, 1, 5995), key(KEY_T, 0, 6050)});
    rig.feed(0, {key(BTN_LEFT, 1, 7000)});
    rig.hub.localButton(1, {5, 10}, 150, false, 7004);
    // Copies further apart are two presses.
    rig.feed(0, {key(KEY_T, 1, 8000), key(KEY_T, 0, 8050)});
    rig.queue.advance(InputHub::kLocalCopyWait * 2);
    rig.hub.localKey(xT, XK_t, false, false, false, 8500);
    rig.queue.advance(InputHub::kLocalCopyWait * 2);

    const KeyPress localT{17, false, false, InputOrigin::local};
    EXPECT_EQ(rig.recorder.seen,
              (std::vector<Delivery>{localT, localT, click(MouseButton::left, {5, 140}, InputOrigin::local),
                                     global(17), localT}));
}

// Device nodes are FIFOs here; what each one is, the stand-in probe says by its name.
TEST(EvdevSourceTest, TheWatchReadsEachKeyboardAndPointerOnceIncludingOnesPluggedInLater) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("tw-evdev-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const auto node = [&](const std::string& name) {
        EXPECT_EQ(::mkfifo((folder / name).c_str(), 0600), 0) << name;
    };
    const InputDeviceWatch::Probe probe = [](int fd) -> std::optional<InputDeviceTraits> {
        const auto name = fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).filename().string();
        return InputDeviceTraits{name, name.ends_with("keys"), name.ends_with("mouse")};
    };
    Rig rig;
    const auto base = rig.source.deviceCount();
    const auto opened = [&] { return rig.source.deviceCount() - base; };

    node("event0-mouse");
    EXPECT_TRUE(std::holds_alternative<std::string>(InputDeviceWatch::open(rig.source, folder, probe)));
    EXPECT_EQ(opened(), 1u);  // read, but no keyboard: no watch

    node("event1-keys");
    node("event2-lid");
    node("mouse0-mouse");  // the legacy interface, not evdev records
    auto watch = InputDeviceWatch::open(rig.source, folder, probe);
    ASSERT_TRUE(std::holds_alternative<std::unique_ptr<InputDeviceWatch>>(watch));
    EXPECT_EQ(opened(), 3u);  // the first open's mouse, then this one's keyboard and mouse

    // Plugged in, then made readable: read once. Events come in order, so once the node
    // after it is read the second notice has been seen.
    std::string said;
    log::setSinkForTesting([&](std::string_view line) { said += line; });
    node("event3-keys");
    EXPECT_TRUE(pumpUntil([&] { return opened() == 4; }));
    ::chmod((folder / "event3-keys").c_str(), 0640);
    node("event4-keys");
    EXPECT_TRUE(pumpUntil([&] { return said.find("event4-keys") != std::string::npos; }));
    log::setSinkForTesting(nullptr);
    EXPECT_EQ(opened(), 5u);

    const int plugged = ::open((folder / "event3-keys").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const auto press = key(KEY_T, 1);
    ASSERT_EQ(::write(plugged, &press, sizeof press), static_cast<ssize_t>(sizeof press));
    EXPECT_TRUE(pumpUntil([&] { return rig.recorder.seen.size() == 1; }));
    ::close(plugged);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tw
