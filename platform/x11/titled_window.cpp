#include "platform/x11/titled_window.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tw {
namespace {

constexpr Qt::WindowFlags titleBarHints = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                          Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint;

// Whether the window manager holds `window` minimised (ICCCM's iconic state), asked of
// the X server: the toolkit hears of it later, maybe after a hotkey pressed meanwhile.
bool iconicOnServer(const QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr || !window.testAttribute(Qt::WA_WState_Created)) return false;
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    return x11PropertyValue(display, window.winId(), wmState, wmState) ==
           static_cast<unsigned long>(IconicState);
}

// Set on an ordinary window of ours that was put in the floating panels' layer.
constexpr const char* liftedProperty = "tw-in-panels-layer";

// A titled window of the app showing in the layer above ordinary windows: a floating
// panel, or a window put there in front of one, which a window opened next must clear too.
bool inPanelsLayer(const QWidget& window) {
    const Qt::WindowFlags flags = window.windowFlags();
    const bool panel = flags.testFlag(Qt::WindowStaysOnTopHint) && window.windowType() == Qt::Tool;
    return flags.testFlag(Qt::WindowTitleHint) && (panel || window.property(liftedProperty).toBool()) &&
           isShowing(window);
}

// Asks the window manager to move a shown `window` into the layer above ordinary windows,
// or out of it, as EWMH has a client ask for a mapped window: a message to the root.
void setAboveLayer(QWidget& window, bool above) {
    window.setProperty(liftedProperty, above);
    Display* display = x11Display();
    if (display == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(window.winId());
    event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = above ? 1 : 0;  // _NET_WM_STATE_ADD, _NET_WM_STATE_REMOVE
    event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False));
    event.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XFlush(display);
}

}  // namespace

Qt::WindowFlags titledWindowFlags(TitledWindow kind) {
    // Customised: only the buttons named here, where Qt would otherwise add them all.
    Qt::WindowFlags flags = (kind.utility ? Qt::Tool : Qt::Window) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (kind.resizable) flags |= Qt::WindowMaximizeButtonHint;
    if (kind.miniaturizable) flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

void makeTitledWindow(QWidget& window, TitledWindow kind) {
    window.setWindowFlags((window.windowFlags() & ~(Qt::WindowType_Mask | titleBarHints)) |
                          titledWindowFlags(kind));
}

bool isShowing(const QWidget& window) {
    return window.isVisible() && !window.isMinimized() && !iconicOnServer(window);
}

void showRaised(QWidget& window) {
    const bool iconic = iconicOnServer(window);
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    // Mapped again, a minimised window comes back (ICCCM), whatever the toolkit knows yet.
    if (iconic) {
        XMapWindow(x11Display(), static_cast<Window>(window.winId()));
        XFlush(x11Display());
    }
    window.raise();
}

void stackAboveShownPanels(QWidget& window) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    const bool panelShows = std::any_of(windows.begin(), windows.end(), [&window](const QWidget* other) {
        return other != &window && inPanelsLayer(*other);
    });
    setAboveLayer(window, panelShows);
    window.raise();
}

}  // namespace tw
