#pragma once
// The trapeze artist swinging from one of two posts and now and then leaping across.
#include "Tumblewick/stage/circus_act.h"
#include "Tumblewick/stage/random_source.h"

namespace tw {

class TrapezeAct final : public CircusAct {
   public:
    TrapezeAct(double x, double y, double width, RandomSource& random = systemRandomSource())
        : x(x), y(y), width(width), random_(&random) {}

    double x;                            // left post
    double y;                            // ground line
    double width;                        // left post to right post
    double angle = -0.4363323129985824;  // −25°; positive swings the bar towards +x
    double angleV = 0;                   // radians per second
    bool fleaOnLeft = true;
    double fleaPhase = 0;
    double swingForce = 0;  // half the energy

    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;

   private:
    RandomSource* random_;
};

}  // namespace tw
