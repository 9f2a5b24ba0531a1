#pragma once
// What the agent host needs of the user's custom fleas: the current list, and a way to
// award one of them XP. The custom-flea store provides it in the app; tests use a list.
#include <cstdint>
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"
#include "platform/uuid.h"

namespace tw {

class CustomFleaRoster {
   public:
    virtual ~CustomFleaRoster() = default;
    // In the order they were added. Main thread only.
    virtual std::vector<MacCustomFlea> customFleas() const = 0;
    // An id the roster does not know is ignored by it.
    virtual void addXP(std::int64_t amount, const Uuid& fleaID) = 0;
};

}  // namespace tw
