#pragma once
// Where user activity turns into XP for every custom flea (the custom-flea store).
#include <cstdint>

namespace tw {

class CustomFleaXPSink {
   public:
    virtual ~CustomFleaXPSink() = default;
    virtual void addXPToAll(std::int64_t amount) = 0;
};

}  // namespace tw
