#pragma once
// The little crowd at the stage's edge: groups of seated fleas that hop when the
// circus is busy. Lengths in points with y growing downward.
#include <vector>

#include "Tumblewick/stage/random_source.h"

namespace tw {

// The share of a hop left after each frame.
inline constexpr double audienceJumpDecay = 0.87;

struct AudienceFleaMac {
    double x = 0;
    double y = 0;
    double jump = 0;  // current hop height, decaying
    friend bool operator==(const AudienceFleaMac&, const AudienceFleaMac&) = default;
};

struct AudienceGroupMac {
    std::vector<AudienceFleaMac> fleas;

    // Every flea hops anew, each to a height drawn from 6...14.
    void onSpike(RandomSource& random = systemRandomSource());
    // The hops settle by a fixed share per call, however long the frame was; the frame
    // loop decays the fleas itself and does not call this.
    void update(double dt);

    friend bool operator==(const AudienceGroupMac&, const AudienceGroupMac&) = default;
};

}  // namespace tw
