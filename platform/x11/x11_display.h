#pragma once
// The X connection Qt opened, for the few hints and properties Qt does not set itself.

typedef struct _XDisplay Display;  // as Xlib declares it, without Xlib's macros

namespace tw {

// Qt's X display, or null when Qt runs on another platform (Wayland, offscreen).
Display* x11Display();

}  // namespace tw
