#pragma once
// The nine lines of one event (FleaDialogue), the result of processing one event
// (FleaNarrativeResult) and a troupe-wide legend (TroupeMyth).
#include <optional>
#include <string>
#include <vector>

#include "narrative/interpretation_records.h"
#include "narrative/narrative_event_record.h"
#include "platform/json.h"

namespace tw {

struct FleaDialogue {
    std::string thoughtBubble{};
    std::string colonyLine{};
    std::string diaryLine{};
    std::optional<std::string> gossipLine{};
    std::string postShowLine{};
    std::optional<std::string> returnLine{};
    std::optional<std::string> relationshipLine{};
    std::optional<std::string> titleLine{};
    std::string suggestedIdentityNudge{};

    friend bool operator==(const FleaDialogue&, const FleaDialogue&) = default;

    OrderedJson toJson() const;
    static FleaDialogue fromJson(const JsonReader& reader);
};

struct FleaNarrativeResult {
    TumblewickEventRecord event{};
    FleaInterpretation interpretation{};
    std::optional<FleaMemory> memory{};
    FleaDialogue dialogue{};

    friend bool operator==(const FleaNarrativeResult&, const FleaNarrativeResult&) = default;

    OrderedJson toJson() const;
    static FleaNarrativeResult fromJson(const JsonReader& reader);
};

struct TroupeMyth {
    Uuid id{};
    std::string motif{};
    std::vector<Uuid> witnessFleaIDs{};
    std::vector<std::string> witnessFleaNames{};
    Date originDate{};
    std::string dialogueLine{};

    friend bool operator==(const TroupeMyth&, const TroupeMyth&) = default;

    OrderedJson toJson() const;
    static TroupeMyth fromJson(const JsonReader& reader);
};

}  // namespace tw
