#include "platform/x11/x11_display.h"

#include <QGuiApplication>

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xlib.h>

namespace tw {

Display* x11Display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

std::optional<unsigned long> x11PropertyValue(Display* display, unsigned long window, unsigned long property,
                                              unsigned long type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> value;
    if (XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        actualType == type && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long*>(data);  // format 32 comes as longs
    if (data != nullptr) XFree(data);
    return value;
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

}  // namespace tw
