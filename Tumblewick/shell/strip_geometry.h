#pragma once
// Where the strip and its close button go, from the screen and the UI scale. The
// strip is placed in bottom-left screen coordinates (80 points above the bottom of
// the screen, full width, 150 points high, each times the scale) and turned into the
// toolkit's top-left ones here, once.
#include "platform/canvas.h"

namespace tw {

struct StripGeometry {
    Rect window;       // top-left origin, in the screen's coordinates
    Rect closeButton;  // top-left origin, inside the strip
    double closeButtonFontSize = 16;
    friend bool operator==(const StripGeometry&, const StripGeometry&) = default;
};

// `screen` is the primary screen's frame with a top-left origin.
StripGeometry stripGeometry(Rect screen, double uiScale);

}  // namespace tw
