#pragma once
// One decision the agent host took, with its narrative charge: how much the decision
// matters to the day's story (the action's base weight, raised by an outcome when one
// is attached, never above 1).
#include <optional>
#include <string>

#include "agent/agent_records.h"
#include "agent/dialogue_records.h"
#include "platform/date.h"
#include "platform/json.h"
#include "platform/uuid.h"

namespace tw {

struct AgentDecision {
    Uuid id = Uuid::random();
    std::string flea_id{};
    AgentIntent intent{};
    Date decided_at{};
    double narrative_charge = 0;
    std::optional<double> outcome_importance{};
    std::optional<AgentDialogueGenerator> dialogue_source{};

    // 0.4 for an initiative action, 0.02 or 0.1 for the rest.
    static double baseCharge(AgentAction action);
    // base + half the importance + 0.1 for a model line, at most 1.0 (no lower clamp).
    void recomputeCharge();

    friend bool operator==(const AgentDecision&, const AgentDecision&) = default;
};

// Keys are the field names; the two optionals are left out when absent. Decoding is
// strict (JsonDecodeError); encoding a non-finite number throws JsonEncodeError.
OrderedJson toJson(const AgentDecision& decision);
void fromJson(const JsonReader& reader, AgentDecision& out);

}  // namespace tw
