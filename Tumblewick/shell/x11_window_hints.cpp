#include "Tumblewick/shell/x11_window_hints.h"

#include <QGuiApplication>
#include <QWidget>
#include <array>

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {
namespace {

Display* x11Display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

}  // namespace

void applyStripWindowHints(QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const Window id = static_cast<Window>(window.winId());
    const std::array<const char*, 4> names = {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY",
                                              "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
    std::array<Atom, 4> states{};
    for (std::size_t i = 0; i < names.size(); ++i) states[i] = XInternAtom(display, names[i], False);
    const Atom wmState = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom wmDesktop = XInternAtom(display, "_NET_WM_DESKTOP", False);

    if (!window.isVisible()) {
        // Read by the window manager when the window is mapped.
        XChangeProperty(display, id, wmState, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states.data()),
                        static_cast<int>(states.size()));
        const long allDesktops = 0xFFFFFFFF;
        XChangeProperty(display, id, wmDesktop, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&allDesktops), 1);
    } else {
        // A mapped window asks the window manager instead.
        const Window root = DefaultRootWindow(display);
        for (Atom state : states) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = id;
            event.xclient.message_type = wmState;
            event.xclient.format = 32;
            event.xclient.data.l[0] = 1;  // add
            event.xclient.data.l[1] = static_cast<long>(state);
            event.xclient.data.l[3] = 1;  // from a normal application
            XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        }
        XEvent desktop{};
        desktop.xclient.type = ClientMessage;
        desktop.xclient.window = id;
        desktop.xclient.message_type = wmDesktop;
        desktop.xclient.format = 32;
        desktop.xclient.data.l[0] = 0xFFFFFFFF;
        desktop.xclient.data.l[1] = 1;
        XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &desktop);
    }
    XFlush(display);
}

void orderFrontWithStripHints(QWidget& window) {
    if (!window.isVisible()) applyStripWindowHints(window);
    window.show();
    window.raise();
    applyStripWindowHints(window);
}

}  // namespace tw
