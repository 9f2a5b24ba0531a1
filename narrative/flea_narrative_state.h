#pragma once
// The narrative engine's whole memory: recent events, memories, love statistics,
// bonds, last dialogues, myths, conversations and the diary. Kept in memory only.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "narrative/interpretation_records.h"
#include "narrative/love_bond_records.h"
#include "narrative/narrative_event_record.h"
#include "narrative/narrative_result_records.h"
#include "platform/json.h"
#include "platform/uuid.h"

namespace tw {

struct FleaBondEntry {
    std::string otherKey{};
    FleaPairBond bond{};

    friend bool operator==(const FleaBondEntry&, const FleaBondEntry&) = default;
};

struct FleaNarrativeState {
    std::vector<TumblewickEventRecord> recentEvents{};
    std::vector<FleaMemory> memories{};
    std::map<Uuid, FleaLoveStats> loveStatsByFleaID{};
    std::map<std::string, FleaLoveStats> loveStatsByFleaName{};
    std::map<std::string, double> relationshipAffection{};
    std::map<std::string, FleaPairBond> pairBonds{};
    std::map<Uuid, FleaDialogue> lastDialogueByFleaID{};
    std::map<std::string, FleaDialogue> lastDialogueByFleaName{};
    std::vector<TroupeMyth> troupeMyths{};
    std::vector<FleaConversationExchange> conversations{};
    std::map<std::string, std::vector<std::string>> diaryByDay{};

    friend bool operator==(const FleaNarrativeState&, const FleaNarrativeState&) = default;

    // The flea's memories in recall order: higher tier, then higher importance, then newest.
    std::vector<FleaMemory> memoriesForFlea(const FleaReference& flea, int limit) const;
    std::optional<FleaDialogue> latestDialogue(const FleaReference& flea) const;
    // Bonds naming the flea, strongest first, the other flea by its key text.
    std::vector<FleaBondEntry> topBonds(const FleaReference& flea, int limit) const;
    // Exchanges with a participant of this display name, newest first.
    std::vector<FleaConversationExchange> conversationsForFlea(const std::string& name, int limit = 5) const;
    // The day's sentences joined with single spaces; "" for a day without entry.
    std::string diaryParagraphFor(const std::string& day) const;

    // Every key is written; UUID-keyed maps as arrays alternating key and value.
    OrderedJson toJson() const;
    // Missing or null keys leave a field empty; a value of the wrong form fails the whole decode.
    static FleaNarrativeState fromJson(const JsonReader& reader);
};

}  // namespace tw
