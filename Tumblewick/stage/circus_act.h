#pragma once
// One act of the circus: advanced every frame with the frame time and the
// normalised energy, then painted. Lengths in points, y grows downward, `y` is the
// ground line; factors that damp a field apply once per update, whatever dt is.
#include "Tumblewick/stage/particle_system.h"
#include "platform/canvas.h"

namespace tw {

class CircusAct {
   public:
    virtual ~CircusAct() = default;
    virtual void update(double dt, double energy) = 0;
    virtual void draw(Canvas& context, ParticleSystem& particles) = 0;
};

}  // namespace tw
