#include "Tumblewick/shell/display_check.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <string_view>

namespace tw {

namespace {

bool usesX11Platform() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    // Without a choice the toolkit picks Wayland when a Wayland display is there.
    if (platform == nullptr || *platform == '\0') return std::getenv("WAYLAND_DISPLAY") == nullptr;
    // "xcb", "xcb:option=value" or a fallback list starting with it.
    return std::string_view(platform).starts_with("xcb");
}

}  // namespace

std::optional<std::string> missingXDisplayMessage() {
    if (!usesX11Platform()) return std::nullopt;
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
