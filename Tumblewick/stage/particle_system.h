#pragma once
// The stage's particles: sparkles, confetti and click bursts.
#include <string>
#include <vector>

#include "Tumblewick/stage/random_source.h"
#include "platform/canvas.h"

namespace tw {

struct Particle {
    double x = 0;
    double y = 0;
    double vx = 0;
    double vy = 0;
    double life = 0;     // seconds left
    double maxLife = 0;  // life ÷ maxLife is the opacity and shrink factor
    Color color;
    double size = 0;    // half-extent in points
    std::string shape;  // "s" star of strokes, "r" flat rectangle, anything else a dot

    friend bool operator==(const Particle&, const Particle&) = default;
};

class ParticleSystem {
   public:
    explicit ParticleSystem(RandomSource& random = systemRandomSource()) : random_(&random) {}

    std::vector<Particle> particles;

    // Each appends `count` particles (none for a count of 0 or below).
    void sparkle(double x, double y, int count);
    void confetti(double x, double y, int count);
    void clickBurst(double x, double y, int count = 25);

    // Moves every particle and drops those whose life has run out; velocity damping
    // is once per call, whatever dt is.
    void update(double dt);
    void draw(Canvas& context) const;

   private:
    RandomSource* random_;
};

}  // namespace tw
