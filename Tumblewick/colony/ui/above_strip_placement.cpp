#include "Tumblewick/colony/ui/above_strip_placement.h"

#include <algorithm>

namespace tw {

QRect placeAboveStrip(const QRect& available, int stripTop, QSize preferred, QSize minimum,
                      const QMargins& frame) {
    // A strip below the work area (under a panel, or on no screen at all) takes none of it.
    const int space = std::min(stripTop, available.bottom() + 1) - available.top();
    const int frameHeight = frame.top() + frame.bottom();
    const int height = std::max(minimum.height(), std::min(preferred.height(), space - frameHeight));
    const int top = available.top() + std::max(0, (space - height - frameHeight) / 2);
    const int frameWidth = preferred.width() + frame.left() + frame.right();
    const int left = available.left() + std::max(0, (available.width() - frameWidth) / 2);
    return {left + frame.left(), top + frame.top(), preferred.width(), height};
}

}  // namespace tw
