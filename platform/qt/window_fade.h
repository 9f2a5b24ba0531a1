#pragma once
// How a window fades in and out. Qt's X11 platform sets a whole window's opacity;
// its Wayland platform cannot and warns on every try, so there a window fades by
// painting itself more faintly, or shows without a fade.
#include <QStringView>

namespace tw {

enum class WindowFading { byWindowOpacity, withoutWindowOpacity };

// For Qt's platform of this name ("xcb", "wayland", "offscreen", ...).
WindowFading windowFadingOn(QStringView platformName);
// For the running application's platform, with one log line where windows cannot fade
// through their opacity. Decided once at start-up, with the application object.
WindowFading decideWindowFading();

}  // namespace tw
