#include "agent/host/agent_decision.h"

#include <algorithm>

#include "agent/agent_records_json.h"
#include "agent/flea_agent_core.h"

namespace tw {

double AgentDecision::baseCharge(AgentAction action) {
    if (FleaAgentCore::isInitiativeAction(action)) return 0.4;
    switch (action) {
        case AgentAction::wander_to:
        case AgentAction::applaud:
        case AgentAction::sit:
        case AgentAction::sleep:
        case AgentAction::micro_story_role:
            return 0.02;
        default:
            return 0.1;
    }
}

void AgentDecision::recomputeCharge() {
    const double base = baseCharge(intent.action);
    const double importance = outcome_importance ? 0.5 * *outcome_importance : 0.0;
    const double source = dialogue_source == AgentDialogueGenerator::llm ? 0.1 : 0.0;
    narrative_charge = std::min(base + importance + source, 1.0);
}

OrderedJson toJson(const AgentDecision& decision) {
    OrderedJson j = OrderedJson::object();
    j["id"] = decision.id.uuidString();
    j["flea_id"] = decision.flea_id;
    j["intent"] = toJson(decision.intent);
    j["decided_at"] = finiteJson(decision.decided_at.seconds, "decided_at");
    j["narrative_charge"] = finiteJson(decision.narrative_charge, "narrative_charge");
    if (decision.outcome_importance)
        j["outcome_importance"] = finiteJson(*decision.outcome_importance, "outcome_importance");
    if (decision.dialogue_source) j["dialogue_source"] = toJson(*decision.dialogue_source);
    return j;
}

void fromJson(const JsonReader& reader, AgentDecision& out) {
    AgentDecision decoded;
    decoded.id = reader["id"].uuid();
    decoded.flea_id = reader["flea_id"].string();
    decoded.intent = decodeJson<AgentIntent>(reader["intent"]);
    decoded.decided_at = reader["decided_at"].referenceDate();
    decoded.narrative_charge = reader["narrative_charge"].number();
    decoded.outcome_importance = reader.optionalNumber("outcome_importance");
    decoded.dialogue_source = decodeOptionalJson<AgentDialogueGenerator>(reader, "dialogue_source");
    out = std::move(decoded);
}

}  // namespace tw
