#include "Tumblewick/shell/strip_geometry.h"

#include <algorithm>
#include <cmath>

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

PixelRect pixelEdges(Rect rect) {
    const auto edge = [](double at) { return static_cast<int>(std::lround(at)); };
    const int left = edge(rect.x);
    const int top = edge(rect.y);
    return {left, top, edge(rect.x + rect.width) - left, edge(rect.y + rect.height) - top};
}

}  // namespace tw
