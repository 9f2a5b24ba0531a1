#include "agent/host/agent_pulse.h"

#include <array>
#include <string_view>
#include <utility>

#include "agent/agent_records_json.h"

namespace tw {

std::string AgentPulse::friendlyIntent(const std::string& raw) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 18> phrases{{
        {"perform_signature", "signature"},
        {"perform_assigned_act", "their act"},
        {"attempt_bit", "trying a bit"},
        {"initiate_duet", "duet"},
        {"join_flea", "joining someone"},
        {"watch_flea", "watching"},
        {"wander_to", "crossing the stage"},
        {"applaud", "clapping"},
        {"sit", "sitting"},
        {"sleep", "resting"},
        {"refuse", "shaking it off"},
        {"micro_story_role", "in a tiny scene"},
        {"pre_action_ritual", "ritual"},
        {"wait_for_cue", "waiting"},
        {"back_off", "stepping back"},
        {"improvised_recovery", "saving it"},
        {"share_attention", "sharing the spot"},
        {"celebrate_other", "cheering"},
    }};
    for (const auto& [key, phrase] : phrases)
        if (key == raw) return std::string(phrase);
    std::string spaced = raw;
    for (char& c : spaced)
        if (c == '_') c = ' ';
    return spaced;
}

OrderedJson toJson(const AgentPulse& pulse) {
    OrderedJson j = OrderedJson::object();
    j["topFleaName"] = pulse.topFleaName;
    j["topFleaCount"] = pulse.topFleaCount;
    j["lastIntent"] = pulse.lastIntent;
    j["lastIntentFleaName"] = pulse.lastIntentFleaName;
    j["lastThought"] = pulse.lastThought;
    j["lastThoughtFleaName"] = pulse.lastThoughtFleaName;
    j["decisionCount"] = pulse.decisionCount;
    j["initiativeCount"] = pulse.initiativeCount;
    j["updatedAt"] = finiteJson(pulse.updatedAt.seconds, "updatedAt");
    OrderedJson perFlea = OrderedJson::object();
    for (const auto& [name, count] : pulse.perFleaDecisions) perFlea[name] = count;
    j["perFleaDecisions"] = std::move(perFlea);
    return j;
}

void fromJson(const JsonReader& r, AgentPulse& out) {
    requireJsonObject(r);
    AgentPulse p;
    p.topFleaName = r["topFleaName"].string();
    p.topFleaCount = r["topFleaCount"].int64();
    p.lastIntent = r["lastIntent"].string();
    p.lastIntentFleaName = r["lastIntentFleaName"].string();
    p.lastThought = r["lastThought"].string();
    p.lastThoughtFleaName = r["lastThoughtFleaName"].string();
    p.decisionCount = r["decisionCount"].int64();
    p.initiativeCount = r["initiativeCount"].int64();
    p.updatedAt = r["updatedAt"].referenceDate();
    const JsonReader perFlea = r["perFleaDecisions"];
    requireJsonObject(perFlea);
    for (const auto& [name, count] : perFlea.members()) p.perFleaDecisions[name] = count.int64();
    out = std::move(p);
}

}  // namespace tw
