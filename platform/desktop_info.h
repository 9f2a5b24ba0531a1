#pragma once
// The session around the app, read from the environment the desktop hands it: which
// display servers take clients and whether the user chose the toolkit's platform.
// The toolkit platform and the source of desktop-wide input both follow it.
#include <functional>
#include <optional>
#include <string>

namespace tw {

struct DesktopInfo {
    bool waylandSession = false;  // a Wayland compositor runs the desktop
    bool xDisplay = false;        // an X server takes clients (XWayland, in a Wayland session)
    bool platformChosen = false;  // QT_QPA_PLATFORM names the toolkit's platform
    bool waylandDisplay = false;  // WAYLAND_DISPLAY names a compositor's socket
    std::string platform;         // QT_QPA_PLATFORM's value, when chosen

    // One environment variable's value; absent or empty counts as unset.
    using Environment = std::function<std::optional<std::string>(const char* name)>;
    static DesktopInfo from(const Environment& environment);
    // The process's, read once.
    static const DesktopInfo& current();

    // A Wayland client can neither place its windows nor keep them above the others,
    // and sees no input but its own: where XWayland runs, the app is an X client.
    bool runsOnXWayland() const { return waylandSession && xDisplay && !platformChosen; }
    // Whether the toolkit will ask for an X server: "xcb" (or a list starting with it)
    // chosen, or, left to choose, no Wayland display to pick instead.
    bool wantsXServer() const { return platformChosen ? platform.starts_with("xcb") : !waylandDisplay; }
};

}  // namespace tw
