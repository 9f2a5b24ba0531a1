// The hotkey grabs on a private Xvfb display, beside another client holding one hotkey in
// one state, as a window manager's binding does.
#include "platform/x11/x11_hotkey_grabs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

// Xlib's macros clash with our names: keep it last.
#include <X11/Xlib.h>

namespace tw {
namespace {

// An Xvfb of its own, on a display number it picks; ended with the object.
class PrivateDisplay {
   public:
    PrivateDisplay() {
        int number[2];
        if (::pipe(number) != 0) return;
        const std::string fd = std::to_string(number[1]);
        const int null = ::open("/dev/null", O_WRONLY);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(number[0]);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten",
                     "tcp", "-noreset", nullptr);
            ::_exit(127);
        }
        ::close(null);
        ::close(number[1]);
        // Generous: on a loaded machine a server start has taken over 5 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds{30};
        std::string read;
        for (char c = 0; read.empty() || read.back() != '\n'; read += c) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd wait{number[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) != 1 ||
                ::read(number[0], &c, 1) != 1)
                break;
        }
        ::close(number[0]);
        if (!read.empty() && read.back() == '\n') name_ = ":" + read.substr(0, read.size() - 1);
    }
    ~PrivateDisplay() { end(); }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Empty when the server did not start.
    const std::string& name() const { return name_; }
    // Ends a server that did not start: true when that was for want of Xvfb itself.
    bool missing() { return name_.empty() && end() == 127; }

   private:
    int end() {
        if (pid_ <= 0) return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(std::exchange(pid_, -1), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    std::string name_;
};

// A changed mapping lets go of every state of a hotkey another client holds, so that client
// (a window manager) grabs its binding anew first, even in states the app held; the next
// round asks for the rest again. The other hotkeys stay grabbed throughout.
TEST(X11HotkeyGrabs, ANewMappingLetsGoOfAHotkeyAnotherClientHolds) {
    PrivateDisplay server;
    if (server.missing()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start within 30 s";
    xcb_connection_t* other = xcb_connect(server.name().c_str(), nullptr);
    Display* display = XOpenDisplay(server.name().c_str());
    ASSERT_TRUE(xcb_connection_has_error(other) == 0 && display != nullptr)
        << "no connection to " << server.name();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const auto otherTakesT = [&](std::uint16_t modifiers) {
        xcb_generic_error_t* error = xcb_request_check(
            other,
            xcb_grab_key_checked(other, 0, root, modifiers, 28, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    };
    // Super is Mod4 on Xvfb's keyboard map.
    constexpr std::uint16_t kShiftSuper = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4;
    ASSERT_TRUE(otherTakesT(XCB_MOD_MASK_CONTROL | kShiftSuper));
    {
        X11HotkeyGrabs grabs(display);
        const auto tGrabs = [&] {
            return std::ranges::count(grabs.taken(), Hotkey::recentThoughts, &KeyGrab::hotkey);
        };
        EXPECT_TRUE(grabs.sharing());
        ASSERT_EQ(tGrabs(), 63);
        const std::size_t others = grabs.taken().size() - 63;
        grabs.remapped();
        XSync(display, False);  // let go on the server before the other client asks
        EXPECT_EQ(tGrabs(), 0);
        EXPECT_EQ(grabs.taken().size(), others);
        EXPECT_TRUE(otherTakesT(kShiftSuper)) << "Shift+Super+T is still the app's";
        grabs.update();
        EXPECT_EQ(tGrabs(), 62);
    }
    XCloseDisplay(display);
    xcb_disconnect(other);
}

}  // namespace
}  // namespace tw
