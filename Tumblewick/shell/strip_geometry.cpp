#include "Tumblewick/shell/strip_geometry.h"

#include <algorithm>

namespace tw {

StripGeometry stripGeometry(Rect screen, double uiScale) {
    const double height = 150 * uiScale;
    const double bottomOffset = 80 * uiScale;
    StripGeometry g;
    g.window = Rect{screen.x, screen.y + screen.height - bottomOffset - height, screen.width, height};
    const double side = 22 * uiScale;
    g.closeButton = Rect{screen.width - side - 10, 6 * uiScale, side, side};
    g.closeButtonFontSize = std::max(16.0, 16 * uiScale);
    return g;
}

}  // namespace tw
