#include "narrative/narrative_result_records.h"

#include "narrative/narrative_json.h"

namespace tw {

namespace {

void putOptional(OrderedJson& out, const char* key, const std::optional<std::string>& value) {
    if (value) out[key] = *value;
}

}  // namespace

OrderedJson FleaDialogue::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["thoughtBubble"] = thoughtBubble;
    out["colonyLine"] = colonyLine;
    out["diaryLine"] = diaryLine;
    putOptional(out, "gossipLine", gossipLine);
    out["postShowLine"] = postShowLine;
    putOptional(out, "returnLine", returnLine);
    putOptional(out, "relationshipLine", relationshipLine);
    putOptional(out, "titleLine", titleLine);
    out["suggestedIdentityNudge"] = suggestedIdentityNudge;
    return out;
}

FleaDialogue FleaDialogue::fromJson(const JsonReader& reader) {
    return FleaDialogue{
        .thoughtBubble = reader["thoughtBubble"].string(),
        .colonyLine = reader["colonyLine"].string(),
        .diaryLine = reader["diaryLine"].string(),
        .gossipLine = reader.optionalString("gossipLine"),
        .postShowLine = reader["postShowLine"].string(),
        .returnLine = reader.optionalString("returnLine"),
        .relationshipLine = reader.optionalString("relationshipLine"),
        .titleLine = reader.optionalString("titleLine"),
        .suggestedIdentityNudge = reader["suggestedIdentityNudge"].string(),
    };
}

OrderedJson FleaNarrativeResult::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["event"] = event.toJson();
    out["interpretation"] = interpretation.toJson();
    if (memory) out["memory"] = memory->toJson();
    out["dialogue"] = dialogue.toJson();
    return out;
}

FleaNarrativeResult FleaNarrativeResult::fromJson(const JsonReader& reader) {
    FleaNarrativeResult out;
    out.event = TumblewickEventRecord::fromJson(reader["event"]);
    out.interpretation = FleaInterpretation::fromJson(reader["interpretation"]);
    if (auto memory = reader.optional("memory")) out.memory = FleaMemory::fromJson(*memory);
    out.dialogue = FleaDialogue::fromJson(reader["dialogue"]);
    return out;
}

OrderedJson TroupeMyth::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["id"] = narrative_json::uuid(id);
    out["motif"] = motif;
    out["witnessFleaIDs"] = narrative_json::array(witnessFleaIDs, narrative_json::uuid);
    out["witnessFleaNames"] = narrative_json::strings(witnessFleaNames);
    out["originDate"] = narrative_json::date(originDate, "originDate");
    out["dialogueLine"] = dialogueLine;
    return out;
}

TroupeMyth TroupeMyth::fromJson(const JsonReader& reader) {
    return TroupeMyth{
        .id = reader["id"].uuid(),
        .motif = reader["motif"].string(),
        .witnessFleaIDs = narrative_json::array<Uuid>(reader["witnessFleaIDs"],
                                                      [](const JsonReader& r) { return r.uuid(); }),
        .witnessFleaNames = narrative_json::strings(reader["witnessFleaNames"]),
        .originDate = reader["originDate"].referenceDate(),
        .dialogueLine = reader["dialogueLine"].string(),
    };
}

}  // namespace tw
