#pragma once
// The X connection Qt opened, for the few hints and properties Qt does not set itself.

#include <array>
#include <optional>
#include <span>
#include <vector>

typedef struct _XDisplay Display;  // as Xlib declares it, without Xlib's macros

namespace tw {

// Qt's X display, or null when Qt runs on another platform (Wayland, offscreen).
Display* x11Display();

// The one 32-bit value of `window`'s `property` when it holds one of `type` (Xlib's Window
// and Atom are unsigned longs), else nothing.
std::optional<unsigned long> x11PropertyValue(Display* display, unsigned long window, unsigned long property,
                                              unsigned long type);
// All the 32-bit values of `window`'s `property` when it holds them as `type`, else none.
std::vector<unsigned long> x11PropertyValues(Display* display, unsigned long window, unsigned long property,
                                             unsigned long type);

// Where the pointer is on the default screen's root window, and which buttons and
// modifiers are down (Xlib's state mask), as the server knows it now.
struct X11Pointer {
    int rootX = 0;
    int rootY = 0;
    unsigned int state = 0;
};
X11Pointer x11Pointer(Display* display);

// Asks the window manager about a mapped `window`, as EWMH has a client do: the client
// message `message` with these five values, sent to the root window. Flushed.
// Adds the named EWMH states to those an unmapped `window` holds, for the window manager to
// read when the window is mapped; the toolkit keeps them when it adds its own.
void x11AddStatesBeforeMapping(Display* display, unsigned long window, std::span<const char* const> names);

void x11AskWindowManager(Display* display, unsigned long window, const char* message,
                         const std::array<long, 5>& values);

}  // namespace tw
