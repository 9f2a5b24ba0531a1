#pragma once
// A caption that rises and fades: outlined, with a soft shadow.
#include <string>

#include "platform/canvas.h"

namespace tw {

struct FloatingText {
    double x = 0;
    double y = 0;
    std::string text;
    Color color;
    double life = 0;  // seconds left
    double maxLife = 1.2;
    double vy = -45;
    double sizeMultiplier = 1.0;
    bool alive = true;

    void update(double dt);
    void draw(Canvas& context) const;
    double fontSize() const;

    friend bool operator==(const FloatingText&, const FloatingText&) = default;
};

}  // namespace tw
