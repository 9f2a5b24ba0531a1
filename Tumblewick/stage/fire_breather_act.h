#pragma once
// The fire-breather: its flame flares with every key press and click.
#include "Tumblewick/stage/circus_act.h"
#include "Tumblewick/stage/random_source.h"

namespace tw {

class FireBreatherAct final : public CircusAct {
   public:
    FireBreatherAct(double x, double y, double width, RandomSource& random = systemRandomSource())
        : x(x), y(y), width(width), random_(&random) {}

    double x;          // left edge
    double y;          // ground line
    double width;      // the flame reaches at most width − 50
    double phase = 0;  // flicker
    double burst = 0;  // flame strength from input, 0 to 1, fading

    void onInput(double strength);
    void onClickNearby(double strength);
    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;

   private:
    RandomSource* random_;
};

}  // namespace tw
