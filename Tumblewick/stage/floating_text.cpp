#include "Tumblewick/stage/floating_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "Tumblewick/stage/ui_fonts.h"

namespace tw {

void FloatingText::update(double dt) {
    y += dt * vy;
    vy *= 0.96;
    life -= dt;
    if (life <= 0) alive = false;
}

double FloatingText::fontSize() const {
    const double t = life / maxLife;
    return std::max(14.0, sizeMultiplier * std::min(2 * t, 1.0) * 24);
}

// A caption looks the same from frame to frame but for its place, its size and its
// fading, which scales every alpha alike, so it is one cached picture per text, colour
// and size, stamped with the fading as its opacity. As it shrinks, the canvas may stamp
// one rendered a little larger, scaled down.
void FloatingText::draw(Canvas& c) const {
    const double t = life / maxLife;
    const double size = fontSize();
    const Font font = UIFonts::system(size);
    const Size extent = c.measureText(text, font);
    const auto unit = [](double v) {
        return static_cast<std::uint64_t>(std::lround(std::clamp(v, 0.0, 1.0) * 1023));
    };
    const std::uint64_t identity = std::hash<std::string>{}(text)*0x9E3779B97F4A7C15ULL ^
                                   (unit(color.red) << 20) ^ (unit(color.green) << 10) ^ unit(color.blue);
    // Room for the outline and the blurred, offset shadow.
    const Rect bounds{-8, -8, extent.width + 20, extent.height + 20};
    PictureKey key(identity);
    key.scalesWith = size;  // the outline is a share of it; only the shadow is fixed
    c.drawCachedPicture(key, bounds, {x, y}, t, [&](Canvas& to, Point at, double alpha) {
        to.save();
        to.setShadow(Shadow{2, 2, 3, Color::white(0.0, 0.7 * alpha)});
        TextStyle style;
        style.font = font;
        style.color = color.withAlpha(alpha);
        // Outline and fill together; the outline is 3 % of the font size wide.
        style.outlineColor = Color::white(0.0, 0.8 * alpha);
        style.outlineWidth = 0.03 * font.size;
        to.drawText(text, at, style);
        to.restore();
    });
}

}  // namespace tw
