#pragma once
// Whether a window manager runs to put frames around our windows. A bare X server (a
// kiosk, a test display) has none, and a window placed with room for a frame that never
// comes would stay off its place by the frame's size.

namespace tw {

// On X11, whether a window manager names itself on the root window, as every
// EWMH-compliant one does; read once. Elsewhere the desktop's compositor frames windows.
bool windowManagerFramesWindows();

}  // namespace tw
