#pragma once
// The juggler: three balls in the air while there is energy, on the ground without.
#include <array>

#include "Tumblewick/stage/circus_act.h"
#include "Tumblewick/stage/random_source.h"

namespace tw {

class JugglingAct final : public CircusAct {
   public:
    JugglingAct(double x, double y, RandomSource& random = systemRandomSource())
        : x(x), y(y), random_(&random) {}

    double x;               // centre
    double y;               // ground line
    double phase = 0;       // radians; one throw per ball per 2π
    double throwBoost = 0;  // extra throw height from input, 0 to 1
    bool dropped = false;
    std::array<double, 3> dropVY = {0, 0, 0};  // fall speed of each dropped ball
    std::array<double, 3> dropY = {0, 0, 0};   // fall below the hands, at most 30
    static constexpr std::array<double, 3> ballOffsets = {0, 1.0 / 3.0, 2.0 / 3.0};  // in turns

    void onInput(double strength);
    void onClickNearby(double strength);
    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;

   private:
    RandomSource* random_;
};

}  // namespace tw
