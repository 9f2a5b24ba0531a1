#pragma once
// What the engine makes of an event (FleaInterpretation) and what a flea keeps
// of it (FleaMemory).
#include <string>
#include <vector>

#include "narrative/narrative_event_record.h"
#include "narrative/narrative_vocabulary.h"
#include "platform/clock.h"
#include "platform/json.h"

namespace tw {

struct FleaInterpretation {
    std::vector<FleaOutcome> outcomes{};
    FleaOutcome dominantOutcome = FleaOutcome::softMiss;
    std::vector<std::string> memoryTags{};
    std::string tone{};
    double importance = 0;  // not clamped here

    friend bool operator==(const FleaInterpretation&, const FleaInterpretation&) = default;

    bool holds(FleaOutcome outcome) const;

    OrderedJson toJson() const;
    static FleaInterpretation fromJson(const JsonReader& reader);
};

struct FleaMemory {
    Uuid id = Uuid::random();
    FleaReference flea{};
    Uuid sourceEventID{};
    Date createdAt = SystemClock().now();
    FleaMemoryTier tier = FleaMemoryTier::immediate;
    std::vector<std::string> tags{};
    std::string summaryFact{};
    std::string emotionalMeaning{};
    std::string tone{};
    double importance = 0;
    std::vector<FleaReference> involvedFleas{};
    bool playerInvolved = false;
    std::vector<std::string> possibleDialogueHooks{};
    bool pinned = false;

    friend bool operator==(const FleaMemory&, const FleaMemory&) = default;

    bool hasTag(std::string_view tag) const;

    // The importance clamped to 0..1 (NaN to 0); assigning the field later does not clamp.
    static FleaMemory make(FleaMemory values);

    OrderedJson toJson() const;
    static FleaMemory fromJson(const JsonReader& reader);
};

}  // namespace tw
