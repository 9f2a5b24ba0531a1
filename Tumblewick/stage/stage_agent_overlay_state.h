#pragma once
// What the mood bars and initiative marks show of the agent host, read once each time
// the host says it changed (once an agent tick) rather than copied every frame.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tw {

struct AgentOverlayState {
    bool read = false;
    std::uint64_t revision = 0;
    // Each resident's four mood bar levels in points, by the resident order; none when
    // the scheduler has no entry for it.
    std::array<std::optional<std::array<double, 4>>, 7> moodLevels;
    // The residents whose current action is an initiative, in the host's order.
    std::vector<std::size_t> initiatives;
};

}  // namespace tw
