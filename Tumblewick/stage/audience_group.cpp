#include "Tumblewick/stage/audience_group.h"

namespace tw {

void AudienceGroupMac::onSpike(RandomSource& random) {
    for (AudienceFleaMac& flea : fleas) flea.jump = random.uniform(6, 14);
}

void AudienceGroupMac::update(double /*dt*/) {
    for (AudienceFleaMac& flea : fleas) flea.jump *= audienceJumpDecay;
}

}  // namespace tw
