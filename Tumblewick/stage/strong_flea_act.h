#pragma once
// The strongman and his barbell; key presses help him lift.
#include "Tumblewick/stage/circus_act.h"

namespace tw {

class StrongFleaAct final : public CircusAct {
   public:
    StrongFleaAct(double x, double y) : x(x), y(y) {}

    double x;         // centre
    double y;         // ground line
    double lift = 0;  // 0 lowest, 1 highest
    bool up = true;
    double phase = 0;
    double pump = 0;  // extra lift in points from key presses, fading

    void onKeystroke();
    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;
};

}  // namespace tw
