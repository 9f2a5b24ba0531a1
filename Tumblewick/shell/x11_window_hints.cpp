#include "Tumblewick/shell/x11_window_hints.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <span>
#include <vector>

#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {
namespace {

constexpr const char* kOutOfTaskbar[] = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
constexpr const char* kStripStates[] = {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", kOutOfTaskbar[0],
                                        kOutOfTaskbar[1]};

// Adds to the states the window manager reads when it maps the window; the toolkit
// adds its own to them on showing it.
void addStatesBeforeMapping(Display* display, Window id, Atom wmState, const std::vector<Atom>& wanted) {
    std::vector<Atom> states;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, id, wmState, 0, 1024, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        if (type == XA_ATOM && format == 32) {
            const auto* held = reinterpret_cast<const Atom*>(data);
            states.assign(held, held + count);
        }
        XFree(data);
    }
    for (Atom state : wanted) {
        if (std::find(states.begin(), states.end(), state) == states.end()) states.push_back(state);
    }
    XChangeProperty(display, id, wmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()), static_cast<int>(states.size()));
}

// A mapped window asks the window manager instead.
void sendToWindowManager(Display* display, Window id, Atom message, long first, long second) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = id;
    event.xclient.message_type = message;
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = second;
    event.xclient.data.l[3] = 1;  // from a normal application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

void addStates(QWidget& window, std::span<const char* const> names, bool mapped) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const Window id = static_cast<Window>(window.winId());
    const Atom wmState = XInternAtom(display, "_NET_WM_STATE", False);
    std::vector<Atom> states;
    for (const char* name : names) states.push_back(XInternAtom(display, name, False));
    if (mapped) {
        for (Atom state : states)
            sendToWindowManager(display, id, wmState, 1 /* add */, static_cast<long>(state));
    } else {
        addStatesBeforeMapping(display, id, wmState, states);
    }
    XFlush(display);
}

void putOnAllDesktops(QWidget& window, bool mapped) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const Window id = static_cast<Window>(window.winId());
    const Atom wmDesktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
    const long allDesktops = 0xFFFFFFFF;
    if (mapped) {
        sendToWindowManager(display, id, wmDesktop, allDesktops, 1);
    } else {
        XChangeProperty(display, id, wmDesktop, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&allDesktops), 1);
    }
    XFlush(display);
}

// Sees each window of ours as it is shown: the show event comes before the toolkit
// maps the window, while its states can still be set on it directly.
class OutOfTaskbar final : public QObject {
   public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A spontaneous one brings back a window the window manager already lists.
        if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        // Menus and tooltips are never managed, so never listed.
        if (!widget->isWindow() || type == Qt::Popup || type == Qt::ToolTip ||
            widget->windowFlags().testFlag(Qt::X11BypassWindowManagerHint)) {
            return false;
        }
        addStates(*widget, kOutOfTaskbar, false);
        return false;
    }
};

}  // namespace

void applyStripWindowHints(QWidget& window) {
    // Read by the window manager when the window is mapped; asked of it afterwards.
    const bool mapped = window.isVisible();
    addStates(window, kStripStates, mapped);
    putOnAllDesktops(window, mapped);
}

void orderFrontWithStripHints(QWidget& window) {
    if (!window.isVisible()) applyStripWindowHints(window);
    window.show();
    window.raise();
    applyStripWindowHints(window);
}

bool windowsInTaskbar(const EnvironmentReader& env) { return envBool("TUMBLEWICK_DOCK_ICON", env) != false; }

void applyTaskbarChoice(QApplication& app) {
    if (windowsInTaskbar()) return;
    app.installEventFilter(new OutOfTaskbar(&app));
}

}  // namespace tw
