#include "narrative/narrative_event_record.h"

#include <algorithm>

#include "narrative/narrative_json.h"
#include "narrative/unit_clamp.h"

namespace tw {

namespace {

double nonNegative(double value) { return value >= 0.0 ? value : 0.0; }  // NaN -> 0

using narrative_json::NumberField;

// The metrics' fields in JSON key order.
constexpr NumberField<FleaEventResultMetrics> kMetricFields[] = {
    {"precision", &FleaEventResultMetrics::precision}, {"daring", &FleaEventResultMetrics::daring},
    {"charm", &FleaEventResultMetrics::charm},         {"heart", &FleaEventResultMetrics::heart},
    {"novelty", &FleaEventResultMetrics::novelty},     {"recovery", &FleaEventResultMetrics::recovery},
};

// The context's levels: the first keys of its JSON, each clamped to 0..1 by make().
constexpr NumberField<FleaEventContext> kContextLevels[] = {
    {"tentWarmth", &FleaEventContext::tentWarmth},
    {"backstageBuzz", &FleaEventContext::backstageBuzz},
    {"houseTrust", &FleaEventContext::houseTrust},
    {"wonder", &FleaEventContext::wonder},
    {"playerAttention", &FleaEventContext::playerAttention},
    {"relationshipRelevance", &FleaEventContext::relationshipRelevance},
    {"troupeReaction", &FleaEventContext::troupeReaction},
};

}  // namespace

OrderedJson FleaReference::toJson() const {
    OrderedJson out = OrderedJson::object();
    if (id) out["id"] = narrative_json::uuid(*id);
    out["name"] = name;
    return out;
}

FleaReference FleaReference::fromJson(const JsonReader& reader) {
    FleaReference out;
    out.id = reader.optionalUuid("id");
    out.name = reader["name"].string();
    return out;
}

FleaEventResultMetrics FleaEventResultMetrics::make(FleaEventResultMetrics v) {
    for (const auto& field : kMetricFields) v.*field.member = clampUnit(v.*field.member);
    return v;
}

OrderedJson FleaEventResultMetrics::toJson() const { return narrative_json::numbers(*this, kMetricFields); }

FleaEventResultMetrics FleaEventResultMetrics::fromJson(const JsonReader& reader) {
    FleaEventResultMetrics out;
    narrative_json::readNumbers(reader, out, kMetricFields);
    return out;
}

FleaEventContext FleaEventContext::make(FleaEventContext v) {
    for (const auto& field : kContextLevels) v.*field.member = clampUnit(v.*field.member);
    v.recurrenceCount = std::max<std::int64_t>(v.recurrenceCount, 0);
    v.attentionLingerSeconds = nonNegative(v.attentionLingerSeconds);
    return v;
}

OrderedJson FleaEventContext::toJson() const {
    OrderedJson out = narrative_json::numbers(*this, kContextLevels);
    out["recurrenceCount"] = recurrenceCount;
    out["playerPinned"] = playerPinned;
    if (previousEventType) out["previousEventType"] = enumJson(*previousEventType);
    out["attentionLingerSeconds"] = finiteJson(attentionLingerSeconds, "attentionLingerSeconds");
    out["riskyTrickPending"] = riskyTrickPending;
    out["supporterIsRival"] = supporterIsRival;
    OrderedJson traits = OrderedJson::array();
    for (FleaTrait trait : primaryFleaTraits) traits.push_back(enumJson(trait));
    out["primaryFleaTraits"] = std::move(traits);
    out["isFirstAttemptOnAct"] = isFirstAttemptOnAct;
    return out;
}

FleaEventContext FleaEventContext::fromJson(const JsonReader& reader) {
    FleaEventContext out;
    narrative_json::readNumbers(reader, out, kContextLevels);
    out.recurrenceCount = reader["recurrenceCount"].int64();
    out.playerPinned = reader["playerPinned"].boolean();
    if (auto previous = reader.optional("previousEventType"))
        out.previousEventType = decodeEnum<TumblewickEventType>(*previous);
    out.attentionLingerSeconds = reader.optionalNumber("attentionLingerSeconds").value_or(0.0);
    out.riskyTrickPending = reader.optionalBoolean("riskyTrickPending").value_or(false);
    out.supporterIsRival = reader.optionalBoolean("supporterIsRival").value_or(false);
    if (auto traits = reader.optional("primaryFleaTraits"))
        for (const JsonReader& trait : traits->elements())
            out.primaryFleaTraits.insert(decodeEnum<FleaTrait>(trait));
    out.isFirstAttemptOnAct = reader.optionalBoolean("isFirstAttemptOnAct").value_or(false);
    return out;
}

OrderedJson TumblewickEventRecord::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["id"] = narrative_json::uuid(id);
    out["occurredAt"] = narrative_json::date(occurredAt, "occurredAt");
    out["type"] = enumJson(type);
    out["primaryFlea"] = primaryFlea.toJson();
    out["involvedFleas"] = narrative_json::records(involvedFleas);
    out["act"] = act;
    out["rawResult"] = rawResult.toJson();
    out["context"] = context.toJson();
    out["fact"] = fact;
    return out;
}

TumblewickEventRecord TumblewickEventRecord::fromJson(const JsonReader& reader) {
    return TumblewickEventRecord{
        .id = reader["id"].uuid(),
        .occurredAt = reader["occurredAt"].referenceDate(),
        .type = decodeEnum<TumblewickEventType>(reader["type"]),
        .primaryFlea = FleaReference::fromJson(reader["primaryFlea"]),
        .involvedFleas =
            narrative_json::array<FleaReference>(reader["involvedFleas"], FleaReference::fromJson),
        .act = reader["act"].string(),
        .rawResult = FleaEventResultMetrics::fromJson(reader["rawResult"]),
        .context = FleaEventContext::fromJson(reader["context"]),
        .fact = reader["fact"].string(),
    };
}

}  // namespace tw

std::size_t std::hash<tw::FleaReference>::operator()(const tw::FleaReference& v) const noexcept {
    return tw::hashFields(v.id, v.name);
}
