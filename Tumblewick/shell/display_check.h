#pragma once
// Whether the toolkit will find the X display it is about to need. Without one it
// aborts with a message about reinstalling the application; we say what is missing.
#include <optional>
#include <string>

namespace tw {

// The one line to print and exit on when the X11 platform is chosen (QT_QPA_PLATFORM,
// or by default outside a Wayland session) and no X server answers on DISPLAY;
// nothing otherwise.
std::optional<std::string> missingXDisplayMessage();

}  // namespace tw
