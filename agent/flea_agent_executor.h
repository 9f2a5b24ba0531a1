#pragma once
// Pure steps from one stage state to the next: starting an intent, easing along its
// path, and expiry.
#include <optional>

#include "agent/agent_records.h"
#include "agent/flea_stage_state.h"
#include "platform/date.h"

namespace tw {

struct FleaAgentExecutor {
    // Where a flea without a position stands when it starts moving.
    static constexpr AgentPosition defaultPosition{0.5, 0.6};
    // Where a duet meets when there is no pair of positions to meet between.
    static constexpr AgentPosition duetFallbackTarget{0.5, 0.55};

    static FleaStageState apply(const AgentIntent& intent, const FleaStageState& state, Date now,
                                const std::optional<AgentPosition>& partnerCurrentPosition);
    // Smoothstep of the elapsed share of the intent; 1 without a positive duration.
    static double pathProgress(const FleaStageState& state, Date now);
    static bool intentExpired(const FleaStageState& state, Date now);
    static FleaStageState clearIfExpired(const FleaStageState& state, Date now);
};

}  // namespace tw
