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

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The whole pixels `rect` covers: each edge rounded on its own and the size taken
// between them. Rounding the size apart from the origin would move the far edge by a
// pixel at fractional scales (the strip off the screen's bottom, the button off the
// strip's right edge).
PixelRect pixelEdges(Rect rect);

}  // namespace tw
