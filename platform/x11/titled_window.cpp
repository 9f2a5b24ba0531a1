#include "platform/x11/titled_window.h"

#include <QApplication>
#include <QWidget>

#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {
namespace {

constexpr Qt::WindowFlags titleBarHints = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                          Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint;

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

bool isShowing(const QWidget& window) { return window.isVisible() && !window.isMinimized(); }

void showRaised(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
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
