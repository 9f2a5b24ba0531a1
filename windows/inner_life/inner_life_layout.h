#pragma once
// Where the inner life panel's controls stand: fixed rows stacked down a content of
// 320 × 360 points, the text rows inset 16 on both sides so a long text is cut inside
// them rather than widening the panel or pushing the rows below down.
#include "platform/canvas.h"

namespace tw {

inline constexpr Size innerLifeContentSize{320, 360};
inline constexpr double innerLifeInset = 16;

// Each row's own height, as its font and style make it.
struct InnerLifeRowHeights {
    double name = 0;
    double voice = 0;
    double section = 0;  // "MOOD" and "RECENT LINES"
    double bonds = 0;
    double button = 0;
};

// Frames with y growing downward from the content's top edge.
struct InnerLifeLayout {
    Rect name;
    Rect voice;
    Rect moodHeader;
    Rect moodBars;
    Rect bonds;
    Rect timelineButton;
    Rect linesHeader;
    Rect lines;  // the whole width, down to 12 above the bottom edge
};

// `buttonWidth` is the button's own width; it never reaches past the trailing inset.
InnerLifeLayout innerLifeLayout(const InnerLifeRowHeights& heights, double buttonWidth);

}  // namespace tw
