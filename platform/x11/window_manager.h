#pragma once
// Whether a window manager runs to put frames around our windows. A bare X server (a
// kiosk, a test display) has none, and a window placed with room for a frame that never
// comes would stay off its place by the frame's size. A manager may also start after
// the app (an autostart entry), or go: the answer is looked up again at each placement.
#include <optional>
#include <string>

namespace tw {

// On X11, whether a window manager names itself on the root window now, as every
// EWMH-compliant one does; says so in the log when the answer differs from the last.
// Elsewhere the desktop's compositor frames windows.
bool windowManagerFramesWindows();

// The log line for a look that found `runs` after `before` (none at the first look):
// none while the answer stays, nor for a manager found at the first look.
std::optional<std::string> windowManagerChangeLine(std::optional<bool> before, bool runs);

}  // namespace tw
