#pragma once
// What the agent host needs of the user's custom fleas: the current list, and a way to
// award one of them XP. The custom-flea store provides it in the app; tests use a list.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/uuid.h"

namespace tw {

// A custom flea as the host sees it: enough to register it and write its voice card.
struct RosterFlea {
    Uuid id;
    std::string name;
    std::string hatKind;        // a hat kind's raw value, unchecked
    std::string discoveredAct;  // an act key, unchecked
    std::int64_t level = 1;

    friend bool operator==(const RosterFlea&, const RosterFlea&) = default;
};

class CustomFleaRoster {
   public:
    virtual ~CustomFleaRoster() = default;
    // In the order they were added. Main thread only.
    virtual std::vector<RosterFlea> customFleas() const = 0;
    // An id the roster does not know is ignored by it.
    virtual void addXP(std::int64_t amount, const Uuid& fleaID) = 0;
};

}  // namespace tw
