#include "windows/inner_life/mood_bars.h"

#include <cstdio>

namespace tw {

std::array<MoodBar, 4> moodBars(const MoodDimensions& mood) {
    return {{{mood.confidence, Color::rgb(0.4, 0.85, 0.95, 0.85)},
             {mood.joy, Color::rgb(1, 1, 0, 0.85)},
             {mood.pride, Color::rgb(0.96, 0.78, 0.2, 0.85)},
             {mood.nerves, Color::rgb(0.95, 0.32, 0.36, 0.85)}}};
}

void drawMoodBars(Canvas& canvas, Size size, const MoodDimensions& mood) {
    constexpr double trackHeight = 36;
    constexpr double trackWidth = 16;
    const double slot = size.width * 0.25;
    const double trackTop = 8;
    const double foot = trackTop + trackHeight;
    TextStyle style;
    style.font = Font{FontFamily::monospaced, 9, FontWeight::medium};
    style.color = Color::white(1, 0.7);
    const auto bars = moodBars(mood);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double centre = slot * 0.5 + slot * static_cast<double>(i);
        canvas.setFillColor(Color::white(1, 0.1));
        canvas.fillRect({centre - trackWidth / 2, trackTop, trackWidth, trackHeight});
        const double value = MoodDimensions::clamp(bars[i].value);
        if (value > 0) {
            canvas.setFillColor(bars[i].color);
            canvas.fillRect(
                {centre - trackWidth / 2, foot - value * trackHeight, trackWidth, value * trackHeight});
        }
        char text[8];
        std::snprintf(text, sizeof text, "%.0f", value * 100);
        const Size box = canvas.measureText(text, style.font);
        // The value's foot sits 14 points below the bar's.
        canvas.drawText(text, {centre - box.width / 2, foot + 14 - box.height}, style);
    }
}

}  // namespace tw
