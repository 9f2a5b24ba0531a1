// Bringing back a window the window manager minimised without handing it the keyboard:
// some managers focus every window they bring back (fluxbox), others one that was used
// lately (xfwm4), so for as long as it takes the window refuses the keyboard itself.
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include "platform/x11/titled_window.h"
#include "platform/x11/x11_display.h"

namespace tw {
namespace {

// Says whether `window` takes the keyboard, as ICCCM has the window manager read it.
void takesKeyboard(QWidget& window, bool takes);

// The window takes the keyboard again once it is mapped: the window manager, which
// mapped it, has decided about the focus before it hears of the change.
class KeyboardBackOnceMapped final : public QObject {
   public:
    KeyboardBackOnceMapped(QWidget& widget, QWindow& window) : QObject(&widget), widget_(widget) {
        window.installEventFilter(this);
    }

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            takesKeyboard(widget_, true);
            deleteLater();
        }
        return false;
    }

   private:
    QWidget& widget_;
};

}  // namespace
}  // namespace tw

// Xlib's macros (Bool, Status, Expose) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tw {
namespace {

// The input hint and the WM_TAKE_FOCUS protocol.
void takesKeyboard(QWidget& widget, bool takes) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const auto window = static_cast<Window>(widget.winId());
    if (XWMHints* hints = XGetWMHints(display, window)) {
        hints->flags |= InputHint;
        hints->input = takes ? True : False;
        XSetWMHints(display, window, hints);
        XFree(hints);
    }
    const Atom takeFocus = XInternAtom(display, "WM_TAKE_FOCUS", False);
    Atom* held = nullptr;
    int count = 0;
    std::vector<Atom> protocols;
    if (XGetWMProtocols(display, window, &held, &count) != 0) {
        for (int i = 0; i < count; ++i)
            if (held[i] != takeFocus) protocols.push_back(held[i]);
        XFree(held);
    }
    if (takes) protocols.push_back(takeFocus);
    XSetWMProtocols(display, window, protocols.data(), static_cast<int>(protocols.size()));
    XFlush(display);
}

constexpr const char* refusingProperty = "tw-refusing-keyboard";

}  // namespace

void restoreWithoutFocus(QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr || window.windowHandle() == nullptr) {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        return;
    }
    const auto id = static_cast<Window>(window.winId());
    if (!window.property(refusingProperty).toBool()) {
        window.setProperty(refusingProperty, true);
        takesKeyboard(window, false);
        auto* back = new KeyboardBackOnceMapped(window, *window.windowHandle());
        QObject::connect(back, &QObject::destroyed, &window,
                         [&window] { window.setProperty(refusingProperty, false); });
    }
    // Not used lately, as EWMH's focus rules go: on the window the toolkit names for it.
    const Atom timeWindow = XInternAtom(display, "_NET_WM_USER_TIME_WINDOW", False);
    const long never = 0;
    XChangeProperty(display, x11PropertyValue(display, id, timeWindow, XA_WINDOW).value_or(id),
                    XInternAtom(display, "_NET_WM_USER_TIME", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&never), 1);
    // Not through the toolkit's state, which maps the window again, nor raised after:
    // some (xfwm4) activate a window that asks to be raised.
    x11AskWindowManager(
        display, id, "_NET_WM_STATE",
        {0 /* remove */, static_cast<long>(XInternAtom(display, "_NET_WM_STATE_HIDDEN", False)), 0,
         2 /* as a pager */, 0});
}

}  // namespace tw
