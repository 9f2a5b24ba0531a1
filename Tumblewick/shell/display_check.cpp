#include "Tumblewick/shell/display_check.h"

#include <X11/Xlib.h>

#include <cstdlib>

#include "platform/desktop_info.h"

namespace tw {

std::optional<std::string> missingXDisplayMessage() {
    if (!DesktopInfo::current().wantsXServer()) return std::nullopt;
    if (Display* display = XOpenDisplay(nullptr)) {
        XCloseDisplay(display);
        return std::nullopt;
    }
    const char* name = std::getenv("DISPLAY");
    const std::string where = name != nullptr && *name != '\0'
                                  ? std::string("no X display answers at DISPLAY=") + name
                                  : std::string("no X display found (DISPLAY is not set)");
    return "Tumblewick: " + where +
           ". Start it from an X11 desktop session, or under a virtual one: xvfb-run tumblewick";
}

}  // namespace tw
