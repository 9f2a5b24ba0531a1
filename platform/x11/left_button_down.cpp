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
    return (x11Pointer(display).state & Button1Mask) != 0;
}

}  // namespace tw
