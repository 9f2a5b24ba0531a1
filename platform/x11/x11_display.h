#pragma once
// The X connection Qt opened, for the few hints and properties Qt does not set itself.

#include <optional>

typedef struct _XDisplay Display;  // as Xlib declares it, without Xlib's macros

namespace tw {

// Qt's X display, or null when Qt runs on another platform (Wayland, offscreen).
Display* x11Display();

// The one 32-bit value of `window`'s `property` when it holds one of `type` (Xlib's Window
// and Atom are unsigned longs), else nothing.
std::optional<unsigned long> x11PropertyValue(Display* display, unsigned long window, unsigned long property,
                                              unsigned long type);

// Where the pointer is on the default screen's root window, and which buttons and
// modifiers are down (Xlib's state mask), as the server knows it now.
struct X11Pointer {
    int rootX = 0;
    int rootY = 0;
    unsigned int state = 0;
};
X11Pointer x11Pointer(Display* display);

}  // namespace tw
