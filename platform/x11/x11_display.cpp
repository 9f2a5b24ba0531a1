#include "platform/x11/x11_display.h"

#include <QGuiApplication>
#include <algorithm>
#include <vector>

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {

Display* x11Display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

std::optional<unsigned long> x11PropertyValue(Display* display, unsigned long window, unsigned long property,
                                              unsigned long type) {
    const std::vector<unsigned long> values = x11PropertyValues(display, window, property, type);
    return values.size() == 1 ? std::optional(values.front()) : std::nullopt;
}

std::vector<unsigned long> x11PropertyValues(Display* display, unsigned long window, unsigned long property,
                                             unsigned long type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, type, &actualType, &format, &count,
                           &after, &data) == Success &&
        actualType == type && format == 32) {
        const auto* held = reinterpret_cast<const unsigned long*>(data);  // format 32 comes as longs
        values.assign(held, held + count);
    }
    if (data != nullptr) XFree(data);
    return values;
}

X11Pointer x11Pointer(Display* display) {
    X11Pointer pointer;
    Window root = 0;
    Window child = 0;
    int windowX = 0;
    int windowY = 0;
    // The mask is filled in even when the pointer is on another screen.
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &pointer.rootX, &pointer.rootY,
                  &windowX, &windowY, &pointer.state);
    return pointer;
}

void x11AddStatesBeforeMapping(Display* display, unsigned long window, std::span<const char* const> names) {
    const Atom wmState = XInternAtom(display, "_NET_WM_STATE", False);
    std::vector<unsigned long> states = x11PropertyValues(display, window, wmState, XA_ATOM);
    for (const char* name : names) {
        const Atom state = XInternAtom(display, name, False);
        if (std::find(states.begin(), states.end(), state) == states.end()) states.push_back(state);
    }
    XChangeProperty(display, window, wmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));
    XFlush(display);
}

void x11AskWindowManager(Display* display, unsigned long window, const char* message,
                         const std::array<long, 5>& values) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, message, False);
    event.xclient.format = 32;
    for (std::size_t i = 0; i < values.size(); ++i) event.xclient.data.l[i] = values[i];
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
}

}  // namespace tw
