#include "narrative/interpretation_records.h"

#include <algorithm>

#include "narrative/narrative_json.h"
#include "narrative/unit_clamp.h"

namespace tw {

bool FleaInterpretation::holds(FleaOutcome outcome) const {
    return std::find(outcomes.begin(), outcomes.end(), outcome) != outcomes.end();
}

OrderedJson FleaInterpretation::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["outcomes"] = narrative_json::array(outcomes, [](FleaOutcome o) { return enumJson(o); });
    out["dominantOutcome"] = enumJson(dominantOutcome);
    out["memoryTags"] = narrative_json::strings(memoryTags);
    out["tone"] = tone;
    out["importance"] = finiteJson(importance, "importance");
    return out;
}

FleaInterpretation FleaInterpretation::fromJson(const JsonReader& reader) {
    FleaInterpretation out;
    out.outcomes = narrative_json::array<FleaOutcome>(reader["outcomes"], decodeEnum<FleaOutcome>);
    out.dominantOutcome = decodeEnum<FleaOutcome>(reader["dominantOutcome"]);
    out.memoryTags = narrative_json::strings(reader["memoryTags"]);
    out.tone = reader["tone"].string();
    out.importance = reader["importance"].number();
    return out;
}

bool FleaMemory::hasTag(std::string_view tag) const {
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

FleaMemory FleaMemory::make(FleaMemory values) {
    values.importance = clampUnit(values.importance);
    return values;
}

OrderedJson FleaMemory::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["id"] = narrative_json::uuid(id);
    out["flea"] = flea.toJson();
    out["sourceEventID"] = narrative_json::uuid(sourceEventID);
    out["createdAt"] = narrative_json::date(createdAt, "createdAt");
    out["tier"] = enumJson(tier);
    out["tags"] = narrative_json::strings(tags);
    out["summaryFact"] = summaryFact;
    out["emotionalMeaning"] = emotionalMeaning;
    out["tone"] = tone;
    out["importance"] = finiteJson(importance, "importance");
    out["involvedFleas"] = narrative_json::records(involvedFleas);
    out["playerInvolved"] = playerInvolved;
    out["possibleDialogueHooks"] = narrative_json::strings(possibleDialogueHooks);
    out["pinned"] = pinned;
    return out;
}

FleaMemory FleaMemory::fromJson(const JsonReader& reader) {
    return FleaMemory{
        .id = reader["id"].uuid(),
        .flea = FleaReference::fromJson(reader["flea"]),
        .sourceEventID = reader["sourceEventID"].uuid(),
        .createdAt = reader["createdAt"].referenceDate(),
        .tier = decodeEnum<FleaMemoryTier>(reader["tier"]),
        .tags = narrative_json::strings(reader["tags"]),
        .summaryFact = reader["summaryFact"].string(),
        .emotionalMeaning = reader["emotionalMeaning"].string(),
        .tone = reader["tone"].string(),
        .importance = reader["importance"].number(),
        .involvedFleas =
            narrative_json::array<FleaReference>(reader["involvedFleas"], FleaReference::fromJson),
        .playerInvolved = reader["playerInvolved"].boolean(),
        .possibleDialogueHooks = narrative_json::strings(reader["possibleDialogueHooks"]),
        .pinned = reader["pinned"].boolean(),
    };
}

}  // namespace tw
