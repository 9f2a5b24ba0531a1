#include "agent/dialogue_records_json.h"

#include <utility>

namespace tw {

OrderedJson toJson(const DialogueRequest& value) {
    OrderedJson j = OrderedJson::object();
    j["flea_id"] = value.flea_id;
    j["voice_card"] = toJson(value.voice_card);
    j["recent_memories"] = recordArray(value.recent_memories);
    j["outcome_kind"] = value.outcome_kind;
    j["channel"] = toJson(value.channel);
    j["seed"] = value.seed;  // stored as an unsigned integer: written in full, never as a double
    return j;
}

void fromJson(const JsonReader& r, DialogueRequest& out) {
    requireJsonObject(r);
    DialogueRequest v;
    v.flea_id = r["flea_id"].string();
    fromJson(r["voice_card"], v.voice_card);
    v.recent_memories = readRecordArray<AgentMemory>(r["recent_memories"]);
    v.outcome_kind = r["outcome_kind"].string();
    fromJson(r["channel"], v.channel);
    v.seed = r["seed"].uint64();
    out = std::move(v);
}

OrderedJson toJson(const AgentDialogueLine& value) {
    OrderedJson j = OrderedJson::object();
    j["text"] = value.text;
    j["tone"] = toJson(value.tone);
    if (value.refers_to_memory_id) j["refers_to_memory_id"] = *value.refers_to_memory_id;
    j["generated_by"] = toJson(value.generated_by);
    j["cache_key"] = value.cache_key;
    return j;
}

void fromJson(const JsonReader& r, AgentDialogueLine& out) {
    requireJsonObject(r);
    AgentDialogueLine v;
    v.text = r["text"].string();
    fromJson(r["tone"], v.tone);
    v.refers_to_memory_id = r.optionalString("refers_to_memory_id");
    fromJson(r["generated_by"], v.generated_by);
    v.cache_key = r["cache_key"].string();
    out = std::move(v);
}

}  // namespace tw
