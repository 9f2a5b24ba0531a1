#pragma once
// The timeline's bar chart of lines per minute, drawn through a Canvas.
#include <cstdint>
#include <vector>

#include "platform/canvas.h"

namespace tw {

inline constexpr const char* activityChartCaption = "  \u2191 activity over last 60 min";

// One bar per bucket (oldest at the left) standing on the bottom edge, the busiest
// reaching the top; nothing at all for no buckets, only the faint ground for an idle hour.
void drawActivityChart(Canvas& canvas, Size size, const std::vector<std::int64_t>& buckets);

}  // namespace tw
