#include "agent/agent_records_json.h"

#include <utility>

namespace tw {

namespace {

OrderedJson stringArray(const std::vector<std::string>& values) {
    OrderedJson array = OrderedJson::array();
    for (const auto& v : values) array.push_back(v);
    return array;
}

std::vector<std::string> readStringArray(const JsonReader& reader) {
    std::vector<std::string> values;
    for (const auto& element : reader.elements()) values.push_back(element.string());
    return values;
}

void putOptional(OrderedJson& object, const char* key, const std::optional<std::string>& value) {
    if (value) object[key] = *value;
}

}  // namespace

void requireJsonObject(const JsonReader& reader) {
    if (!reader.isObject()) {
        if (reader.isNull()) reader.fail(JsonErrorKind::valueNotFound, "expected an object, found null");
        reader.fail(JsonErrorKind::typeMismatch, "expected an object");
    }
}

// ---------------------------------------------------------------- VoiceCard

OrderedJson toJson(const VoiceCard& value) {
    OrderedJson j = OrderedJson::object();
    j["flea_id"] = value.flea_id;
    j["name"] = value.name;
    j["traits"] = stringArray(value.traits);
    j["voice_style"] = value.voice_style;
    putOptional(j, "ambition", value.ambition);
    j["superstitions"] = stringArray(value.superstitions);
    putOptional(j, "pronouns", value.pronouns);
    putOptional(j, "signature_phrase_hint", value.signature_phrase_hint);
    return j;
}

void fromJson(const JsonReader& r, VoiceCard& out) {
    requireJsonObject(r);
    VoiceCard v;
    v.flea_id = r["flea_id"].string();
    v.name = r["name"].string();
    v.traits = readStringArray(r["traits"]);
    v.voice_style = r["voice_style"].string();
    v.ambition = r.optionalString("ambition");
    v.superstitions = readStringArray(r["superstitions"]);
    v.pronouns = r.optionalString("pronouns");
    v.signature_phrase_hint = r.optionalString("signature_phrase_hint");
    out = std::move(v);
}

// ---------------------------------------------------------------- MoodDimensions

OrderedJson toJson(const MoodDimensions& value) {
    OrderedJson j = OrderedJson::object();
    j["confidence"] = finiteJson(value.confidence, "confidence");
    j["nerves"] = finiteJson(value.nerves, "nerves");
    j["joy"] = finiteJson(value.joy, "joy");
    j["pride"] = finiteJson(value.pride, "pride");
    return j;
}

void fromJson(const JsonReader& r, MoodDimensions& out) {
    requireJsonObject(r);
    out = MoodDimensions{r["confidence"].number(), r["nerves"].number(), r["joy"].number(),
                         r["pride"].number()};
}

// ---------------------------------------------------------------- WorldSnapshot

OrderedJson toJson(const WorldSnapshot& value) {
    OrderedJson j = OrderedJson::object();
    j["now_iso"] = value.now_iso;
    j["time_of_day"] = toJson(value.time_of_day);
    j["energy"] = finiteJson(value.energy, "energy");
    if (value.arc_day_index) j["arc_day_index"] = *value.arc_day_index;
    j["weather"] = toJson(value.weather);
    return j;
}

void fromJson(const JsonReader& r, WorldSnapshot& out) {
    requireJsonObject(r);
    WorldSnapshot v;
    v.now_iso = r["now_iso"].string();
    fromJson(r["time_of_day"], v.time_of_day);
    v.energy = r["energy"].number();
    v.arc_day_index = r.optionalInt64("arc_day_index");
    fromJson(r["weather"], v.weather);
    out = std::move(v);
}

// ---------------------------------------------------------------- StageState

OrderedJson toJson(const StageState& value) {
    OrderedJson j = OrderedJson::object();
    putOptional(j, "player_attention_flea_id", value.player_attention_flea_id);
    putOptional(j, "current_focus_act", value.current_focus_act);
    j["nearby_flea_ids"] = stringArray(value.nearby_flea_ids);
    return j;
}

void fromJson(const JsonReader& r, StageState& out) {
    requireJsonObject(r);
    StageState v;
    v.player_attention_flea_id = r.optionalString("player_attention_flea_id");
    v.current_focus_act = r.optionalString("current_focus_act");
    v.nearby_flea_ids = readStringArray(r["nearby_flea_ids"]);
    out = std::move(v);
}

// ---------------------------------------------------------------- AgentMemory

OrderedJson toJson(const AgentMemory& value) {
    OrderedJson j = OrderedJson::object();
    j["id"] = value.id;
    j["tier"] = toJson(value.tier);
    j["tone"] = value.tone;
    j["tags"] = stringArray(value.tags);
    j["involves_player"] = value.involves_player;
    j["summary"] = value.summary;
    return j;
}

void fromJson(const JsonReader& r, AgentMemory& out) {
    requireJsonObject(r);
    AgentMemory v;
    v.id = r["id"].string();
    fromJson(r["tier"], v.tier);
    v.tone = r["tone"].string();
    v.tags = readStringArray(r["tags"]);
    v.involves_player = r["involves_player"].boolean();
    v.summary = r["summary"].string();
    out = std::move(v);
}

// ---------------------------------------------------------------- MemoriesByTier

OrderedJson toJson(const MemoriesByTier& value) {
    OrderedJson j = OrderedJson::object();
    j["immediate"] = recordArray(value.immediate);
    j["recent"] = recordArray(value.recent);
    j["season"] = recordArray(value.season);
    j["long_term"] = recordArray(value.long_term);
    j["legend"] = recordArray(value.legend);
    return j;
}

void fromJson(const JsonReader& r, MemoriesByTier& out) {
    requireJsonObject(r);
    MemoriesByTier v;
    v.immediate = readRecordArray<AgentMemory>(r["immediate"]);
    v.recent = readRecordArray<AgentMemory>(r["recent"]);
    v.season = readRecordArray<AgentMemory>(r["season"]);
    v.long_term = readRecordArray<AgentMemory>(r["long_term"]);
    v.legend = readRecordArray<AgentMemory>(r["legend"]);
    out = std::move(v);
}

// ---------------------------------------------------------------- AgentPosition

OrderedJson toJson(const AgentPosition& value) {
    OrderedJson j = OrderedJson::object();
    j["x_norm"] = finiteJson(value.x_norm, "x_norm");
    j["y_norm"] = finiteJson(value.y_norm, "y_norm");
    return j;
}

void fromJson(const JsonReader& r, AgentPosition& out) {
    requireJsonObject(r);
    out = AgentPosition{r["x_norm"].number(), r["y_norm"].number()};
}

// ---------------------------------------------------------------- DialogueHook

OrderedJson toJson(const DialogueHook& value) {
    OrderedJson j = OrderedJson::object();
    j["outcome_kind"] = value.outcome_kind;
    j["importance"] = finiteJson(value.importance, "importance");
    j["channel"] = toJson(value.channel);
    return j;
}

void fromJson(const JsonReader& r, DialogueHook& out) {
    requireJsonObject(r);
    DialogueHook v;
    v.outcome_kind = r["outcome_kind"].string();
    v.importance = r["importance"].number();
    fromJson(r["channel"], v.channel);
    out = std::move(v);
}

// ---------------------------------------------------------------- AgentIntent

OrderedJson toJson(const AgentIntent& value) {
    OrderedJson j = OrderedJson::object();
    j["action"] = toJson(value.action);
    putOptional(j, "target_flea_id", value.target_flea_id);
    if (value.target_position) j["target_position"] = toJson(*value.target_position);
    j["duration_ticks"] = value.duration_ticks;
    j["mood_delta"] = toJson(value.mood_delta);
    if (value.dialogue_hook) j["dialogue_hook"] = toJson(*value.dialogue_hook);
    return j;
}

void fromJson(const JsonReader& r, AgentIntent& out) {
    requireJsonObject(r);
    AgentIntent v;
    fromJson(r["action"], v.action);
    v.target_flea_id = r.optionalString("target_flea_id");
    v.target_position = decodeOptionalJson<AgentPosition>(r, "target_position");
    v.duration_ticks = r["duration_ticks"].int64();
    fromJson(r["mood_delta"], v.mood_delta);
    v.dialogue_hook = decodeOptionalJson<DialogueHook>(r, "dialogue_hook");
    out = std::move(v);
}

// ---------------------------------------------------------------- AgentInput

OrderedJson toJson(const AgentInput& value) {
    OrderedJson j = OrderedJson::object();
    j["voice_card"] = toJson(value.voice_card);
    j["mood"] = toJson(value.mood);
    j["memories_by_tier"] = toJson(value.memories_by_tier);
    j["world_snapshot"] = toJson(value.world_snapshot);
    j["stage_state"] = toJson(value.stage_state);
    j["recent_intents"] = recordArray(value.recent_intents);
    return j;
}

void fromJson(const JsonReader& r, AgentInput& out) {
    requireJsonObject(r);
    AgentInput v;
    fromJson(r["voice_card"], v.voice_card);
    fromJson(r["mood"], v.mood);
    fromJson(r["memories_by_tier"], v.memories_by_tier);
    fromJson(r["world_snapshot"], v.world_snapshot);
    fromJson(r["stage_state"], v.stage_state);
    v.recent_intents = readRecordArray<AgentIntent>(r["recent_intents"]);
    out = std::move(v);
}

}  // namespace tw
