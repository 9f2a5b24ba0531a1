#include "platform/x11/titled_window.h"

#include <QGuiApplication>
#include <QWidget>

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {
namespace {

constexpr Qt::WindowFlags titleBarHints = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                          Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint;

Display* x11Display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
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

std::vector<const char*> titledWindowTypes(TitledWindow kind) {
    const char* own = kind.utility ? "_NET_WM_WINDOW_TYPE_UTILITY" : "_NET_WM_WINDOW_TYPE_NORMAL";
    if (kind.miniaturizable) return {own};
    return {"_NET_WM_WINDOW_TYPE_TOOLBAR", own};
}

void makeTitledWindow(QWidget& window, TitledWindow kind) {
    window.setWindowFlags((window.windowFlags() & ~(Qt::WindowType_Mask | titleBarHints)) |
                          titledWindowFlags(kind));
    Display* display = x11Display();
    if (display == nullptr) return;
    // Qt writes the type when it makes the native window and not again: ours replaces it
    // before the window manager, which reads it once, first sees the window.
    const auto id = static_cast<Window>(window.winId());
    std::vector<Atom> types;
    for (const char* name : titledWindowTypes(kind)) types.push_back(XInternAtom(display, name, False));
    XChangeProperty(display, id, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(types.data()),
                    static_cast<int>(types.size()));
    XFlush(display);
}

}  // namespace tw
