#pragma once
// A brass gear along the strip: spins with the energy, jumps at each input.
#include "platform/canvas.h"

namespace tw {

struct Gear {
    double x = 0;
    double y = 0;
    double radius = 0;
    int teeth = 0;     // must not be negative
    double angle = 0;  // degrees
    double spin = 0;   // degrees per second
    double jolt = 0;   // the last input kick, degrees

    void update(double dt, double energy);
    void onInput(double strength);
    void draw(Canvas& context) const;
    void drawAt(Canvas& context, Point centre) const;  // uncached, centred on `centre`

    friend bool operator==(const Gear&, const Gear&) = default;
};

}  // namespace tw
