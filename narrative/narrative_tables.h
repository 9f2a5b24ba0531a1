#pragma once
// Every fixed table of the narrative engine, in one place: outcome priorities,
// base importance, tones, type tags, love increments, memory texts, evolution
// rules, relationship lines, identity nudges and diary verbs.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "narrative/love_bond_records.h"
#include "narrative/narrative_vocabulary.h"

namespace tw {

struct LoveIncrement {
    double FleaLoveStats::*field;
    double amount;
};

struct MemoryEvolutionRule {
    std::vector<std::string_view> olderHasAll;
    std::vector<std::string_view> olderLacksAll;
    std::vector<std::string_view> newerHasAny;
    bool newerPinnedCounts = false;  // the rule also holds when the newer memory is pinned
    std::vector<std::string_view> tags;
    std::string_view meaning;
    std::optional<FleaMemoryTier> tierFloor;
    std::optional<std::string_view> hook;
};

namespace narrative_tables {

// Outcome priorities of one act, or of every act; empty when the table has no entry.
std::span<const FleaOutcome> actOutcomePriority(std::string_view act, TumblewickEventType type);
std::span<const FleaOutcome> defaultOutcomePriority(TumblewickEventType type);

double baseImportance(FleaOutcome outcome);
std::string_view tone(FleaOutcome dominant);
// The tag each event type adds; empty for the types that add none.
std::string_view typeTag(TumblewickEventType type);

std::span<const LoveIncrement> loveIncrements(FleaOutcome outcome);

// Memory texts. N is the flea's name, A the act.
std::string summary(FleaOutcome dominant, const std::string& name, const std::string& act);
std::string emotionalMeaning(FleaOutcome dominant, const std::string& name);
inline constexpr std::string_view kReturnMeaning = "The player's return warmed the circus.";
// Three hooks; `firstInvolved` is the name of the event's first partner, if any.
std::vector<std::string> dialogueHooks(FleaOutcome dominant, const std::optional<std::string>& firstInvolved);

const std::vector<MemoryEvolutionRule>& memoryEvolutionRules();

// "devoted", "warm" or "cool" from a bond's affection.
std::string_view bondLabel(double affection);
std::string relationshipLine(FleaOutcome dominant, std::string_view label, const std::string& a,
                             const std::string& b);

std::string_view identityNudge(FleaOutcome dominant);
std::string_view diaryVerb(FleaOutcome outcome);

}  // namespace narrative_tables
}  // namespace tw
