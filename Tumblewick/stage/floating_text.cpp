#include "Tumblewick/stage/floating_text.h"

#include <algorithm>

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

void FloatingText::draw(Canvas& c) const {
    const double t = life / maxLife;
    const double size = fontSize();
    c.save();
    c.setShadow(Shadow{2, 2, 3, Color::white(0.0, 0.7 * t)});
    TextStyle style;
    style.font = UIFonts::system(size);
    style.color = color.withAlpha(t);
    // Outline and fill together; the outline is 3 % of the font size wide.
    style.outlineColor = Color::white(0.0, 0.8 * t);
    style.outlineWidth = 0.03 * size;
    c.drawText(text, {x, y}, style);
    c.restore();
}

}  // namespace tw
