#include "agent/dialogue_records_json.h"

#include <utility>

namespace tw {

OrderedJson toJson(const DialogueRequest& value) {
    OrderedJson j = OrderedJson::object();
    j["flea_id"] = value.flea_id;
    j["voice_card"] = toJson(value.voice_card);
    OrderedJson memories = OrderedJson::array();
    for (const auto& memory : value.recent_memories) memories.push_back(toJson(memory));
    j["recent_memories"] = std::move(memories);
    j["outcome_kind"] = value.outcome_kind;
    j["channel"] = toJson(value.channel);
    j["seed"] = value.seed;  // stored as an unsigned integer: written in full, never as a double
    return j;
}

void fromJson(const JsonReader& r, DialogueRequest& out) {
    if (!r.isObject()) r.fail(r.isNull() ? JsonErrorKind::valueNotFound : JsonErrorKind::typeMismatch,
                              "expected an object");
    DialogueRequest v;
    v.flea_id = r["flea_id"].string();
    fromJson(r["voice_card"], v.voice_card);
    for (const auto& element : r["recent_memories"].elements())
        v.recent_memories.push_back(decodeJson<AgentMemory>(element));
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
    if (!r.isObject()) r.fail(r.isNull() ? JsonErrorKind::valueNotFound : JsonErrorKind::typeMismatch,
                              "expected an object");
    AgentDialogueLine v;
    v.text = r["text"].string();
    fromJson(r["tone"], v.tone);
    v.refers_to_memory_id = r.optionalString("refers_to_memory_id");
    fromJson(r["generated_by"], v.generated_by);
    v.cache_key = r["cache_key"].string();
    out = std::move(v);
}

}  // namespace tw
