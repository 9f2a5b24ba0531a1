#pragma once
// A flea's four mood values as upright bars with their value under each, drawn
// through a Canvas, in the order and colours every mood drawing uses.
#include <array>

#include "agent/agent_records.h"
#include "platform/canvas.h"

namespace tw {

struct MoodBar {
    double value = 0;
    Color color{};
};

// Confidence, joy, pride and nerves, left to right.
std::array<MoodBar, 4> moodBars(const MoodDimensions& mood);

// Four slots across `size.width`; in each a 16 by 36 track 8 points below the top edge,
// filled from its foot in proportion to the value clamped to 0...1, its percentage under it.
void drawMoodBars(Canvas& canvas, Size size, const MoodDimensions& mood);

}  // namespace tw
