#pragma once
// The human cannonball, with its line of fleas waiting their turn.
#include <string>
#include <vector>

#include "Tumblewick/stage/circus_act.h"
#include "Tumblewick/stage/random_source.h"

namespace tw {

class CannonAct final : public CircusAct {
   public:
    CannonAct(double x, double y, double width, RandomSource& random = systemRandomSource())
        : x(x), y(y), width(width), random_(&random) {}

    double x;                     // left edge; the barrel pivots at (x + 30, y − 12)
    double y;                     // ground line
    double width;                 // the net stands at x + width − 20
    std::string state = "ready";  // "ready" in the barrel, "fly" in the air
    double fleaX = 0;
    double fleaY = 0;
    double fleaVX = 0;
    double fleaVY = 0;
    double phase = 0;
    double flash = 0;  // muzzle flash, 1 right after a shot
    // Offsets right of x of the three waiting fleas; the first is next once below 1.
    std::vector<double> queuePositions = {10, 25, 40};

    // Shoots the flea in the barrel, if there is one.
    void fire();
    void update(double dt, double energy) override;
    void draw(Canvas& context, ParticleSystem& particles) override;

   private:
    RandomSource* random_;
};

}  // namespace tw
