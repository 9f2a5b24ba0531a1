#include "windows/inner_life/activity_chart.h"

#include <algorithm>

namespace tw {

void drawActivityChart(Canvas& canvas, Size size, const std::vector<std::int64_t>& buckets) {
    if (buckets.empty()) return;
    canvas.setFillColor(Color::white(1, 0.06));
    canvas.fillRect({0, 0, size.width, size.height});
    const std::int64_t busiest = *std::max_element(buckets.begin(), buckets.end());
    if (busiest < 1) return;
    const double barWidth = size.width / static_cast<double>(buckets.size());
    canvas.setFillColor(Color::rgb(1, 1, 0, 0.6));
    for (std::size_t i = 0; i < buckets.size(); ++i) {
        if (buckets[i] <= 0) continue;
        const double height = size.height * static_cast<double>(buckets[i]) / static_cast<double>(busiest);
        canvas.fillRect({barWidth * static_cast<double>(i) + 1, size.height - height, barWidth - 2, height});
    }
    // The caption's foot sits 12 points below the top edge.
    const Font font{FontFamily::system, 9, FontWeight::regular};
    const double lineHeight = canvas.measureText(activityChartCaption, font).height;
    TextStyle style;
    style.font = font;
    style.color = Color::white(1, 0.4);
    canvas.drawText(activityChartCaption, {4, 12 - lineHeight}, style);
}

}  // namespace tw
