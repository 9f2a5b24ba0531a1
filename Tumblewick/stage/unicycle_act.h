#pragma once
// The unicyclist riding back and forth across a short stretch of ground.
#include "Tumblewick/stage/circus_act.h"

namespace tw {

class UnicycleAct final : public CircusAct {
   public:
    UnicycleAct(double x, double y) : x(x), y(y) {}

    double x;               // centre of the ride; the wheel runs from x − 60 to x + 60
    double y;               // ground line
    double position = 0.5;  // 0 to 1 along the ride
    double lean = 0;        // points
    double wheelAngle = 0;  // degrees, growing without bound
    double phase = 0;

    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;
};

}  // namespace tw
