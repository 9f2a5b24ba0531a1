#pragma once
// An expanding ring left by a click.
#include "platform/canvas.h"

namespace tw {

struct Shockwave {
    double x = 0;
    double y = 0;
    double radius = 5;
    double maxRadius = 180;  // must be positive
    double speed = 300;      // points per second
    bool alive = true;

    void update(double dt);
    void draw(Canvas& context) const;

    friend bool operator==(const Shockwave&, const Shockwave&) = default;
};

}  // namespace tw
