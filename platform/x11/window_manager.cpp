#include "platform/x11/window_manager.h"

#include "platform/log.h"
#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {
namespace {

// The window that `window`'s _NET_SUPPORTING_WM_CHECK names, or 0.
Window checkWindow(Display* display, Window window, Atom check) {
    return x11PropertyValue(display, window, check, XA_WINDOW).value_or(0);
}

bool askX11() {
    Display* display = x11Display();
    if (display == nullptr) return true;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const Window named = checkWindow(display, DefaultRootWindow(display), check);
    // A manager that has gone leaves the root's property behind; its own window, which
    // names itself, goes with it.
    return named != 0 && checkWindow(display, named, check) == named;
}

}  // namespace

std::optional<std::string> windowManagerChangeLine(std::optional<bool> before, bool runs) {
    if (before == runs) return std::nullopt;
    if (!runs) return "No window manager runs on this display: windows open without frames.";
    if (before.has_value()) return "A window manager runs on this display now: windows open with frames.";
    return std::nullopt;
}

bool windowManagerFramesWindows() {
    static std::optional<bool> last;
    const bool runs = askX11();
    if (const auto line = windowManagerChangeLine(last, runs)) log::info(*line);
    last = runs;
    return runs;
}

}  // namespace tw
