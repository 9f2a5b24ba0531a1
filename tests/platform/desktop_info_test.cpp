#include "platform/desktop_info.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tw {
namespace {

TEST(DesktopInfoTest, AWaylandSessionWithXWaylandRunsTheAppAsAnXClientUnlessThePlatformIsChosen) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> environment;
        bool wayland;
        bool onXWayland;
    };
    const Case cases[] = {
        {"an X11 session", {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}, false, false},
        {"Wayland with XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}}, true, true},
        {"the session type alone says Wayland",
         {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}},
         true,
         true},
        {"Wayland without XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}}, true, false},
        {"an empty DISPLAY is no X server", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}, true, false},
        {"the user's platform stands",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}, {"QT_QPA_PLATFORM", "wayland"}},
         true,
         false},
    };
    for (const auto& c : cases) {
        const auto info = DesktopInfo::from([&](const char* name) -> std::optional<std::string> {
            const auto it = c.environment.find(name);
            if (it == c.environment.end()) return std::nullopt;
            return it->second;
        });
        EXPECT_EQ(info.waylandSession, c.wayland) << c.name;
        EXPECT_EQ(info.runsOnXWayland(), c.onXWayland) << c.name;
    }
}

}  // namespace
}  // namespace tw
