#include "narrative/flea_narrative_state.h"

#include <algorithm>

#include "narrative/memory_order.h"
#include "narrative/narrative_json.h"

namespace tw {

namespace {

std::size_t cappedLimit(int limit, std::size_t count) {
    return limit <= 0 ? 0 : std::min(static_cast<std::size_t>(limit), count);
}

template <typename V, typename Encode>
OrderedJson uuidMapJson(const std::map<Uuid, V>& map, Encode encode) {
    OrderedJson out = OrderedJson::array();
    for (const auto& [key, value] : map) {
        out.push_back(narrative_json::uuid(key));
        out.push_back(encode(value));
    }
    return out;
}

template <typename V, typename Encode>
OrderedJson stringMapJson(const std::map<std::string, V>& map, Encode encode) {
    OrderedJson out = OrderedJson::object();
    for (const auto& [key, value] : map) out[key] = encode(value);
    return out;
}

template <typename V, typename Decode>
std::map<Uuid, V> decodeUuidMap(const JsonReader& reader, Decode decode) {
    const std::vector<JsonReader> elements = reader.elements();
    if (elements.size() % 2 != 0) reader.fail(JsonErrorKind::dataCorrupted, "a key without a value");
    std::map<Uuid, V> out;
    for (std::size_t i = 0; i < elements.size(); i += 2) {
        Uuid key = elements[i].uuid();
        // A key listed twice would leave one value unread: refuse rather than pick one.
        if (!out.emplace(key, decode(elements[i + 1])).second)
            elements[i].fail(JsonErrorKind::dataCorrupted, "duplicate key " + key.uuidString());
    }
    return out;
}

template <typename V, typename Decode>
std::map<std::string, V> decodeStringMap(const JsonReader& reader, Decode decode) {
    if (!reader.isObject()) reader.fail(JsonErrorKind::typeMismatch, "expected an object");
    std::map<std::string, V> out;
    for (const auto& [key, value] : reader.members()) out[key] = decode(value);
    return out;
}

}  // namespace

std::vector<FleaMemory> FleaNarrativeState::memoriesForFlea(const FleaReference& flea, int limit) const {
    std::vector<FleaMemory> mine;
    for (const FleaMemory& memory : memories) {
        const bool sameId = flea.id && memory.flea.id == flea.id;
        if (sameId || memory.flea.name == flea.name) mine.push_back(memory);
    }
    std::stable_sort(mine.begin(), mine.end(), recallsBefore);
    mine.resize(cappedLimit(limit, mine.size()));
    return mine;
}

std::optional<FleaDialogue> FleaNarrativeState::latestDialogue(const FleaReference& flea) const {
    if (flea.id) {
        if (auto it = lastDialogueByFleaID.find(*flea.id); it != lastDialogueByFleaID.end())
            return it->second;
    }
    if (auto it = lastDialogueByFleaName.find(flea.name); it != lastDialogueByFleaName.end())
        return it->second;
    return std::nullopt;
}

std::vector<FleaBondEntry> FleaNarrativeState::topBonds(const FleaReference& flea, int limit) const {
    const std::string own = flea.keyText();
    std::vector<FleaBondEntry> found;
    for (const auto& [key, bond] : pairBonds) {
        const std::size_t sep = key.find("::");
        if (sep == std::string::npos) continue;
        const std::string first = key.substr(0, sep);
        const std::string second = key.substr(sep + 2);
        if (second.find("::") != std::string::npos) continue;  // more than two parts
        if (first == own)
            found.push_back({second, bond});
        else if (second == own)
            found.push_back({first, bond});
    }
    std::stable_sort(found.begin(), found.end(), [](const FleaBondEntry& a, const FleaBondEntry& b) {
        return rankedScore(a.bond.affection) > rankedScore(b.bond.affection);
    });
    found.resize(cappedLimit(limit, found.size()));
    return found;
}

std::vector<FleaConversationExchange> FleaNarrativeState::conversationsForFlea(const std::string& name,
                                                                               int limit) const {
    std::vector<FleaConversationExchange> found;
    for (const FleaConversationExchange& exchange : conversations) {
        const bool takesPart = std::any_of(exchange.participants.begin(), exchange.participants.end(),
                                           [&](const FleaReference& p) { return p.name == name; });
        if (takesPart) found.push_back(exchange);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const FleaConversationExchange& a, const FleaConversationExchange& b) {
                         return rankedScore(a.createdAt.seconds) > rankedScore(b.createdAt.seconds);
                     });
    found.resize(cappedLimit(limit, found.size()));
    return found;
}

std::string FleaNarrativeState::diaryParagraphFor(const std::string& day) const {
    auto it = diaryByDay.find(day);
    if (it == diaryByDay.end()) return "";
    std::string paragraph;
    for (const std::string& sentence : it->second) {
        if (!paragraph.empty()) paragraph += ' ';
        paragraph += sentence;
    }
    return paragraph;
}

OrderedJson FleaNarrativeState::toJson() const {
    auto self = [](const auto& record) { return record.toJson(); };
    OrderedJson out = OrderedJson::object();
    out["recentEvents"] = narrative_json::records(recentEvents);
    out["memories"] = narrative_json::records(memories);
    out["loveStatsByFleaID"] = uuidMapJson(loveStatsByFleaID, self);
    out["loveStatsByFleaName"] = stringMapJson(loveStatsByFleaName, self);
    out["relationshipAffection"] =
        stringMapJson(relationshipAffection, [](double v) { return finiteJson(v, "affection"); });
    out["pairBonds"] = stringMapJson(pairBonds, self);
    out["lastDialogueByFleaID"] = uuidMapJson(lastDialogueByFleaID, self);
    out["lastDialogueByFleaName"] = stringMapJson(lastDialogueByFleaName, self);
    out["troupeMyths"] = narrative_json::records(troupeMyths);
    out["conversations"] = narrative_json::records(conversations);
    out["diaryByDay"] = stringMapJson(diaryByDay, [](const std::vector<std::string>& sentences) {
        return narrative_json::strings(sentences);
    });
    return out;
}

FleaNarrativeState FleaNarrativeState::fromJson(const JsonReader& reader) {
    if (!reader.isObject()) reader.fail(JsonErrorKind::typeMismatch, "expected an object");
    FleaNarrativeState out;
    if (auto r = reader.optional("recentEvents"))
        out.recentEvents = narrative_json::array<TumblewickEventRecord>(*r, TumblewickEventRecord::fromJson);
    if (auto r = reader.optional("memories"))
        out.memories = narrative_json::array<FleaMemory>(*r, FleaMemory::fromJson);
    if (auto r = reader.optional("loveStatsByFleaID"))
        out.loveStatsByFleaID = decodeUuidMap<FleaLoveStats>(*r, FleaLoveStats::fromJson);
    if (auto r = reader.optional("loveStatsByFleaName"))
        out.loveStatsByFleaName = decodeStringMap<FleaLoveStats>(*r, FleaLoveStats::fromJson);
    if (auto r = reader.optional("relationshipAffection"))
        out.relationshipAffection =
            decodeStringMap<double>(*r, [](const JsonReader& v) { return v.number(); });
    if (auto r = reader.optional("pairBonds"))
        out.pairBonds = decodeStringMap<FleaPairBond>(*r, FleaPairBond::fromJson);
    if (auto r = reader.optional("lastDialogueByFleaID"))
        out.lastDialogueByFleaID = decodeUuidMap<FleaDialogue>(*r, FleaDialogue::fromJson);
    if (auto r = reader.optional("lastDialogueByFleaName"))
        out.lastDialogueByFleaName = decodeStringMap<FleaDialogue>(*r, FleaDialogue::fromJson);
    if (auto r = reader.optional("troupeMyths"))
        out.troupeMyths = narrative_json::array<TroupeMyth>(*r, TroupeMyth::fromJson);
    if (auto r = reader.optional("conversations"))
        out.conversations =
            narrative_json::array<FleaConversationExchange>(*r, FleaConversationExchange::fromJson);
    if (auto r = reader.optional("diaryByDay"))
        out.diaryByDay = decodeStringMap<std::vector<std::string>>(
            *r, [](const JsonReader& day) { return narrative_json::strings(day); });
    return out;
}

}  // namespace tw
