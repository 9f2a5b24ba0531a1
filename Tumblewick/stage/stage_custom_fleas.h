#pragma once
// The custom fleas as the stage sees them: the store's list, read on every processed
// frame to pick each act's performer. Main thread only.
#include <vector>

#include "Tumblewick/colony/mac_custom_flea.h"

namespace tw {

class StageCustomFleas {
   public:
    virtual ~StageCustomFleas() = default;
    // In the store's own order.
    virtual const std::vector<MacCustomFlea>& fleas() const = 0;
};

}  // namespace tw
