#include "narrative/narrative_event_record.h"

#include <algorithm>

#include "narrative/narrative_json.h"
#include "narrative/unit_clamp.h"

namespace tw {

namespace {

double nonNegative(double value) { return value >= 0.0 ? value : 0.0; }  // NaN -> 0

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
    return {clampUnit(v.precision), clampUnit(v.daring),  clampUnit(v.charm),
            clampUnit(v.heart),     clampUnit(v.novelty), clampUnit(v.recovery)};
}

OrderedJson FleaEventResultMetrics::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["precision"] = finiteJson(precision, "precision");
    out["daring"] = finiteJson(daring, "daring");
    out["charm"] = finiteJson(charm, "charm");
    out["heart"] = finiteJson(heart, "heart");
    out["novelty"] = finiteJson(novelty, "novelty");
    out["recovery"] = finiteJson(recovery, "recovery");
    return out;
}

FleaEventResultMetrics FleaEventResultMetrics::fromJson(const JsonReader& reader) {
    FleaEventResultMetrics out;
    out.precision = reader["precision"].number();
    out.daring = reader["daring"].number();
    out.charm = reader["charm"].number();
    out.heart = reader["heart"].number();
    out.novelty = reader["novelty"].number();
    out.recovery = reader["recovery"].number();
    return out;
}

FleaEventContext FleaEventContext::make(FleaEventContext v) {
    v.tentWarmth = clampUnit(v.tentWarmth);
    v.backstageBuzz = clampUnit(v.backstageBuzz);
    v.houseTrust = clampUnit(v.houseTrust);
    v.wonder = clampUnit(v.wonder);
    v.playerAttention = clampUnit(v.playerAttention);
    v.relationshipRelevance = clampUnit(v.relationshipRelevance);
    v.troupeReaction = clampUnit(v.troupeReaction);
    v.recurrenceCount = std::max<std::int64_t>(v.recurrenceCount, 0);
    v.attentionLingerSeconds = nonNegative(v.attentionLingerSeconds);
    return v;
}

OrderedJson FleaEventContext::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["tentWarmth"] = finiteJson(tentWarmth, "tentWarmth");
    out["backstageBuzz"] = finiteJson(backstageBuzz, "backstageBuzz");
    out["houseTrust"] = finiteJson(houseTrust, "houseTrust");
    out["wonder"] = finiteJson(wonder, "wonder");
    out["playerAttention"] = finiteJson(playerAttention, "playerAttention");
    out["relationshipRelevance"] = finiteJson(relationshipRelevance, "relationshipRelevance");
    out["troupeReaction"] = finiteJson(troupeReaction, "troupeReaction");
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
    out.tentWarmth = reader["tentWarmth"].number();
    out.backstageBuzz = reader["backstageBuzz"].number();
    out.houseTrust = reader["houseTrust"].number();
    out.wonder = reader["wonder"].number();
    out.playerAttention = reader["playerAttention"].number();
    out.relationshipRelevance = reader["relationshipRelevance"].number();
    out.troupeReaction = reader["troupeReaction"].number();
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
    out["involvedFleas"] =
        narrative_json::records(involvedFleas);
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
