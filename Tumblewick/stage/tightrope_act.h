#pragma once
// The tightrope walker, balancing a pole between two posts.
#include "Tumblewick/stage/circus_act.h"
#include "Tumblewick/stage/random_source.h"

namespace tw {

class TightropeAct final : public CircusAct {
   public:
    TightropeAct(double x, double y, double width, RandomSource& random = systemRandomSource())
        : x(x), y(y), width(width), random_(&random) {}

    double x;              // left post
    double y;              // ground line
    double width;          // left post to right post
    double position = 0;   // 0 at the left post, 1 at the right
    double direction = 1;  // +1 walking right, −1 walking left
    double phase = 0;
    double wobble = 0;  // pole tilt in points, within [−8, 8]
    double wobbleV = 0;

    // A jolt to the walker's balance.
    void onInput(double strength);
    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;

   private:
    RandomSource* random_;
};

}  // namespace tw
