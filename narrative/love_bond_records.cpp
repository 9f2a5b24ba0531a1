#include "narrative/love_bond_records.h"

#include <algorithm>
#include <functional>

#include "narrative/narrative_json.h"
#include "narrative/narrative_tables.h"
#include "narrative/unit_clamp.h"

namespace tw {

namespace {

// Field order of FleaLoveStats, which is also its JSON key order.
constexpr narrative_json::NumberField<FleaLoveStats> kLoveFields[] = {
    {"bond", &FleaLoveStats::bond},
    {"spotlightLove", &FleaLoveStats::spotlightLove},
    {"tentWarmth", &FleaLoveStats::tentWarmth},
    {"backstageLove", &FleaLoveStats::backstageLove},
    {"backstageBuzz", &FleaLoveStats::backstageBuzz},
    {"precisionConfidence", &FleaLoveStats::precisionConfidence},
    {"fame", &FleaLoveStats::fame},
    {"resilience", &FleaLoveStats::resilience},
    {"playfulness", &FleaLoveStats::playfulness},
    {"daringIdentity", &FleaLoveStats::daringIdentity},
    {"quietResolve", &FleaLoveStats::quietResolve},
    {"discipline", &FleaLoveStats::discipline},
    {"wonder", &FleaLoveStats::wonder},
    {"superstition", &FleaLoveStats::superstition},
    {"chemistry", &FleaLoveStats::chemistry},
    {"trust", &FleaLoveStats::trust},
    {"admiration", &FleaLoveStats::admiration},
    {"ambitionClarity", &FleaLoveStats::ambitionClarity},
};

}  // namespace

FleaLoveStats FleaLoveStats::make(FleaLoveStats values) {
    for (const auto& field : kLoveFields) values.*field.member = clampUnit(values.*field.member);
    return values;
}

void FleaLoveStats::apply(const std::vector<FleaOutcome>& outcomes) {
    for (FleaOutcome outcome : outcomes)
        for (const LoveIncrement& inc : narrative_tables::loveIncrements(outcome))
            this->*inc.field = clampUnit(this->*inc.field + inc.amount);
}

OrderedJson FleaLoveStats::toJson() const { return narrative_json::numbers(*this, kLoveFields); }

FleaLoveStats FleaLoveStats::fromJson(const JsonReader& reader) {
    FleaLoveStats out;
    narrative_json::readNumbers(reader, out, kLoveFields);
    return out;
}

FleaPairBond FleaPairBond::make(FleaPairBond values) {
    values.affection = clampUnit(values.affection);
    values.interactionCount = std::max<std::int64_t>(values.interactionCount, 0);
    return values;
}

OrderedJson FleaPairBond::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["affection"] = finiteJson(affection, "affection");
    out["lastInteraction"] = narrative_json::date(lastInteraction, "lastInteraction");
    if (lastDialogueLine) out["lastDialogueLine"] = *lastDialogueLine;
    out["interactionCount"] = interactionCount;
    return out;
}

FleaPairBond FleaPairBond::fromJson(const JsonReader& reader) {
    FleaPairBond out;
    out.affection = reader["affection"].number();
    out.lastInteraction = reader["lastInteraction"].referenceDate();
    out.lastDialogueLine = reader.optionalString("lastDialogueLine");
    out.interactionCount = reader["interactionCount"].int64();
    return out;
}

OrderedJson FleaConversationLine::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["speaker"] = speaker;
    out["text"] = text;
    return out;
}

FleaConversationLine FleaConversationLine::fromJson(const JsonReader& reader) {
    return {reader["speaker"].string(), reader["text"].string()};
}

OrderedJson FleaConversationExchange::toJson() const {
    OrderedJson out = OrderedJson::object();
    out["id"] = narrative_json::uuid(id);
    out["createdAt"] = narrative_json::date(createdAt, "createdAt");
    out["participants"] = narrative_json::records(participants);
    out["lines"] = narrative_json::records(lines);
    out["outcome"] = outcome;
    out["setting"] = setting;
    return out;
}

FleaConversationExchange FleaConversationExchange::fromJson(const JsonReader& reader) {
    return FleaConversationExchange{
        .id = reader["id"].uuid(),
        .createdAt = reader["createdAt"].referenceDate(),
        .participants = narrative_json::array<FleaReference>(reader["participants"], FleaReference::fromJson),
        .lines = narrative_json::array<FleaConversationLine>(reader["lines"], FleaConversationLine::fromJson),
        .outcome = reader["outcome"].string(),
        .setting = reader["setting"].string(),
    };
}

}  // namespace tw

std::size_t std::hash<tw::FleaConversationLine>::operator()(
    const tw::FleaConversationLine& line) const noexcept {
    return tw::hashFields(line.speaker, line.text);
}
