#include "agent/flea_stage_state.h"

#include "agent/agent_records_json.h"

namespace tw {

OrderedJson toJson(const FleaStageState& value) {
    OrderedJson j = OrderedJson::object();
    j["flea_id"] = value.flea_id;
    j["assigned_act"] = value.assigned_act;
    if (value.position) j["position"] = toJson(*value.position);
    if (value.target_position) j["target_position"] = toJson(*value.target_position);
    if (value.temp_act_override) j["temp_act_override"] = *value.temp_act_override;
    j["current_pose"] = toJson(value.current_pose);
    if (value.interaction_partner_id) j["interaction_partner_id"] = *value.interaction_partner_id;
    if (value.cooldown_until)
        j["cooldown_until"] = finiteJson(value.cooldown_until->seconds, "cooldown_until");
    if (value.intent_started_at)
        j["intent_started_at"] = finiteJson(value.intent_started_at->seconds, "intent_started_at");
    if (value.intent_duration_seconds)
        j["intent_duration_seconds"] = finiteJson(*value.intent_duration_seconds, "intent_duration_seconds");
    if (value.current_action) j["current_action"] = toJson(*value.current_action);
    return j;
}

void fromJson(const JsonReader& r, FleaStageState& out) {
    requireJsonObject(r);
    FleaStageState v;
    v.flea_id = r["flea_id"].string();
    v.assigned_act = r["assigned_act"].string();
    v.position = decodeOptionalJson<AgentPosition>(r, "position");
    v.target_position = decodeOptionalJson<AgentPosition>(r, "target_position");
    v.temp_act_override = r.optionalString("temp_act_override");
    fromJson(r["current_pose"], v.current_pose);
    v.interaction_partner_id = r.optionalString("interaction_partner_id");
    if (auto m = r.optional("cooldown_until")) v.cooldown_until = m->referenceDate();
    if (auto m = r.optional("intent_started_at")) v.intent_started_at = m->referenceDate();
    v.intent_duration_seconds = r.optionalNumber("intent_duration_seconds");
    v.current_action = decodeOptionalJson<AgentAction>(r, "current_action");
    out = std::move(v);
}

}  // namespace tw
