#include "platform/x11/titled_window.h"

#include <QApplication>
#include <QWidget>

#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
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

// A titled panel of the app that floats above ordinary windows.
bool isFloatingPanel(const QWidget& window) {
    const Qt::WindowFlags flags = window.windowFlags();
    return flags.testFlag(Qt::WindowStaysOnTopHint) && flags.testFlag(Qt::WindowTitleHint) &&
           window.windowType() == Qt::Tool && isShowing(window);
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

void stackAbove(QWidget& window, QWidget& owner) {
    Display* display = x11Display();
    if (display == nullptr) return;
    // Qt names an owner only for dialogs and tools; an ordinary window's is set here.
    const auto owned = static_cast<Window>(window.winId());
    const auto ownerId = static_cast<Window>(owner.winId());
    XChangeProperty(display, owned, XA_WM_TRANSIENT_FOR, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&ownerId), 1);
    XFlush(display);
}

void stackAboveShownPanels(QWidget& window) {
    for (QWidget* other : QApplication::topLevelWidgets())
        if (other != &window && isFloatingPanel(*other)) {
            // Above one is above them all: the window manager lifts it to the panels' layer.
            stackAbove(window, *other);
            return;
        }
}

}  // namespace tw
