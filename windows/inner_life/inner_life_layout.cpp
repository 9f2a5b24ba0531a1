#include "windows/inner_life/inner_life_layout.h"

#include <algorithm>

namespace tw {

InnerLifeLayout innerLifeLayout(const InnerLifeRowHeights& heights, double buttonWidth) {
    const double inner = innerLifeContentSize.width - 2 * innerLifeInset;
    double y = 18;
    // A row of the inner width `gap` below the one before it.
    auto row = [&](double gap, double height, double width = -1) {
        y += gap;
        const Rect frame{innerLifeInset, y, width < 0 ? inner : width, std::max(height, 0.0)};
        y += frame.height;
        return frame;
    };
    InnerLifeLayout layout;
    layout.name = row(0, heights.name);
    layout.voice = row(2, heights.voice);
    layout.moodHeader = row(16, heights.section);
    layout.moodBars = row(6, 60);
    layout.bonds = row(12, heights.bonds);
    layout.timelineButton = row(6, heights.button, std::clamp(buttonWidth, 0.0, inner));
    layout.linesHeader = row(10, heights.section);
    y += 4;
    const double bottom = innerLifeContentSize.height - 12;
    // Rows too tall for the panel leave the lines no room, never a negative height.
    layout.lines = Rect{0, std::min(y, bottom), innerLifeContentSize.width, std::max(bottom - y, 0.0)};
    return layout;
}

}  // namespace tw
