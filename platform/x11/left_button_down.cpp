#include "platform/x11/left_button_down.h"

#include <QGuiApplication>

#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xlib.h>

namespace tw {

bool leftButtonDown() {
    Display* display = x11Display();
    // Without an X server (offscreen, Wayland), what Qt knows from the presses it delivered.
    if (display == nullptr) return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    Window root = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned int mask = 0;
    // The mask is filled in even when the pointer is on another screen.
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
    return (mask & Button1Mask) != 0;
}

}  // namespace tw
