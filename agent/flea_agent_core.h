#pragma once
// The decision core: scores each candidate action for one flea and picks the best,
// breaking near-ties with a seeded draw. Pure: the result depends only on the input,
// the seed and the string hash of the flea's id.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "agent/agent_records.h"
#include "platform/string_hash.h"

namespace tw {

struct FleaAgentDecision {
    AgentIntent intent{};
    // Every candidate, best score first; equal scores keep candidate order.
    std::vector<std::pair<AgentAction, double>> debugScores{};

    friend bool operator==(const FleaAgentDecision&, const FleaAgentDecision&) = default;
};

namespace FleaAgent {
inline constexpr bool featureFlag = true;
}

struct FleaAgentCore {
    // Scores closer than this to the best are tied.
    static constexpr double tieEpsilon = 1e-9;

    // Uses the process's salted string hash, as the scheduler does by default.
    static AgentIntent tick(const AgentInput& input, std::uint64_t seed);
    static AgentIntent tick(const AgentInput& input, std::uint64_t seed, const StringHashFunction& hash);
    static FleaAgentDecision decide(const AgentInput& input, std::uint64_t seed);
    static FleaAgentDecision decide(const AgentInput& input, std::uint64_t seed,
                                    const StringHashFunction& hash);

    // perform_signature, initiate_duet, attempt_bit and pre_action_ritual.
    static bool isInitiativeAction(AgentAction action);
};

}  // namespace tw
