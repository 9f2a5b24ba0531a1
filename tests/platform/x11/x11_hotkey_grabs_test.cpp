// The hotkey grabs on a private X display (xvfb-run's), beside another client holding one
// hotkey in one state, as a window manager's binding does.
#include "platform/x11/x11_hotkey_grabs.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

// Xlib's macros clash with our names: keep it last.
#include <X11/Xlib.h>

namespace tw {
namespace {

// A changed mapping lets go of every state of a hotkey another client holds, so that client
// (a window manager) grabs its binding anew first, even in states the app held; the next
// round asks for the rest again. The other hotkeys stay grabbed throughout.
TEST(X11HotkeyGrabs, ANewMappingLetsGoOfAHotkeyAnotherClientHolds) {
    // Never on the display a developer works on: ctest runs it under xvfb-run.
    if (std::getenv("TW_X11_PRIVATE_DISPLAY") == nullptr) GTEST_SKIP() << "for a private display only";
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(xcb_connection_has_error(other) == 0 && display != nullptr) << "no connection to the display";
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
