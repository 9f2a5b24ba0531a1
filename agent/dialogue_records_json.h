#pragma once
// JSON of the dialogue request and line, by the same rules as agent_records_json.h.
// A request's seed is written as a full unsigned 64-bit integer and read back exactly.
#include "agent/agent_records_json.h"
#include "agent/dialogue_records.h"
#include "platform/json.h"

namespace tw {

OrderedJson toJson(const DialogueRequest& value);
OrderedJson toJson(const AgentDialogueLine& value);

void fromJson(const JsonReader& reader, DialogueRequest& out);
void fromJson(const JsonReader& reader, AgentDialogueLine& out);

}  // namespace tw
