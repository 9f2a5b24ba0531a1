// The numbers and orders of the narrative engine: outcome priorities, base importance,
// tones, type tags, love increments and the memory evolution rules.
#include "narrative/narrative_tables.h"

#include <array>

namespace tw::narrative_tables {

namespace {

using O = FleaOutcome;
using E = TumblewickEventType;
using S = FleaLoveStats;

struct PriorityRow {
    std::string_view act;  // empty: every act
    E type;
    std::vector<O> priority;
};

const std::vector<PriorityRow>& defaultPriorities() {
    static const std::vector<PriorityRow> rows{
        {"",
         E::performanceSuccess,
         {O::signatureMoment, O::cleanSuccess, O::spotlightBloom, O::strangeMagic, O::bondingMoment}},
        {"",
         E::performanceMiss,
         {O::tenderRecovery, O::comicBit, O::braveAttempt, O::spotlightBloom, O::strangeMagic,
          O::growthMoment, O::softMiss}},
        {"",
         E::nearSuccess,
         {O::braveAttempt, O::quietResolve, O::growthMoment, O::comicBit, O::bondingMoment}},
        {"",
         E::recovery,
         {O::tenderRecovery, O::comicBit, O::braveAttempt, O::spotlightBloom, O::strangeMagic,
          O::growthMoment, O::softMiss}},
        {"", E::playerAttention, {O::spotlightBloom, O::playerSeen, O::bondingMoment}},
        {"", E::playerGift, {O::signatureMoment, O::spotlightBloom, O::strangeMagic}},
        {"",
         E::socialSupport,
         {O::duetSpark, O::bondingMoment, O::mentorBond, O::warmRivalry, O::tenderRecovery}},
        {"",
         E::socialRivalry,
         {O::duetSpark, O::bondingMoment, O::mentorBond, O::warmRivalry, O::tenderRecovery}},
        {"",
         E::duetMoment,
         {O::duetSpark, O::bondingMoment, O::mentorBond, O::warmRivalry, O::tenderRecovery}},
        {"", E::strangeEvent, {O::mythSeed, O::strangeMagic, O::spotlightBloom, O::signatureMoment}},
        {"", E::quietPractice, {O::growthMoment, O::quietResolve}},
    };
    return rows;
}

// Overrides for a few acts. The act names are matched exactly, "strongflea" included.
const std::vector<PriorityRow>& actPriorities() {
    static const std::vector<PriorityRow> rows{
        {"cannon",
         E::performanceSuccess,
         {O::signatureMoment, O::bondingMoment, O::cleanSuccess, O::spotlightBloom, O::strangeMagic}},
        {"cannon",
         E::performanceMiss,
         {O::braveAttempt, O::tenderRecovery, O::comicBit, O::spotlightBloom, O::strangeMagic,
          O::growthMoment, O::softMiss}},
        {"cannon",
         E::nearSuccess,
         {O::braveAttempt, O::bondingMoment, O::quietResolve, O::growthMoment, O::comicBit}},
        {"tightrope",
         E::performanceMiss,
         {O::tenderRecovery, O::braveAttempt, O::comicBit, O::spotlightBloom, O::strangeMagic,
          O::growthMoment, O::softMiss}},
        {"tightrope",
         E::nearSuccess,
         {O::tenderRecovery, O::braveAttempt, O::quietResolve, O::growthMoment, O::comicBit,
          O::bondingMoment}},
        {"tightrope",
         E::strangeEvent,
         {O::omenMemory, O::mythSeed, O::strangeMagic, O::spotlightBloom, O::signatureMoment}},
        {"strongflea",
         E::performanceSuccess,
         {O::bondingMoment, O::signatureMoment, O::cleanSuccess, O::spotlightBloom, O::strangeMagic}},
        {"strongflea",
         E::nearSuccess,
         {O::bondingMoment, O::braveAttempt, O::quietResolve, O::growthMoment, O::comicBit}},
    };
    return rows;
}

std::span<const O> findPriority(const std::vector<PriorityRow>& rows, std::string_view act, E type) {
    for (const PriorityRow& row : rows)
        if (row.act == act && row.type == type) return row.priority;
    return {};
}

}  // namespace

std::span<const FleaOutcome> actOutcomePriority(std::string_view act, TumblewickEventType type) {
    if (act.empty()) return {};
    return findPriority(actPriorities(), act, type);
}

std::span<const FleaOutcome> defaultOutcomePriority(TumblewickEventType type) {
    return findPriority(defaultPriorities(), "", type);
}

double baseImportance(FleaOutcome outcome) {
    switch (outcome) {
        case O::cleanSuccess:
            return 0.74;
        case O::spotlightBloom:
            return 0.82;
        case O::tenderRecovery:
            return 0.82;
        case O::comicBit:
            return 0.66;
        case O::braveAttempt:
            return 0.82;
        case O::growthMoment:
            return 0.66;
        case O::strangeMagic:
            return 0.95;
        case O::bondingMoment:
            return 0.74;
        case O::duetSpark:
            return 0.82;
        case O::quietResolve:
            return 0.66;
        case O::signatureMoment:
            return 0.95;
        case O::softMiss:
            return 0.42;
        case O::playerSeen:
            return 0.66;
        case O::mentorBond:
            return 0.74;
        case O::warmRivalry:
            return 0.74;
        case O::omenMemory:
            return 0.66;
        case O::mythSeed:
            return 0.95;
        case O::discoveryMemory:
            return 0.66;
    }
    return 0.4;
}

std::string_view tone(FleaOutcome dominant) {
    switch (dominant) {
        case O::cleanSuccess:
        case O::signatureMoment:
            return "proud";
        case O::spotlightBloom:
        case O::tenderRecovery:
        case O::bondingMoment:
        case O::playerSeen:
        case O::mentorBond:
            return "tender";
        case O::comicBit:
        case O::warmRivalry:
            return "playful";
        case O::braveAttempt:
        case O::duetSpark:
            return "brave";
        case O::growthMoment:
        case O::quietResolve:
        case O::softMiss:
            return "wistful";
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return "mysterious";
        case O::discoveryMemory:
            return "curious";
    }
    return "wistful";
}

std::string_view typeTag(TumblewickEventType type) {
    switch (type) {
        case E::performanceSuccess:
            return "clean_success";
        case E::performanceMiss:
            return "soft_miss";
        case E::nearSuccess:
            return "near_success";
        case E::recovery:
            return "recovery";
        case E::playerGift:
            return "gift_received";
        case E::strangeEvent:
            return "omen";
        case E::nicknameEvent:
            return "title_seed";
        case E::quietPractice:
            return "quiet_practice";
        default:
            return "";
    }
}

std::span<const LoveIncrement> loveIncrements(FleaOutcome outcome) {
    static const std::array<std::vector<LoveIncrement>, 18> table{{
        /* cleanSuccess */ {{&S::precisionConfidence, 0.08}, {&S::fame, 0.05}, {&S::spotlightLove, 0.04}},
        /* spotlightBloom */ {{&S::bond, 0.08}, {&S::spotlightLove, 0.08}},
        /* tenderRecovery */ {{&S::resilience, 0.07}, {&S::tentWarmth, 0.08}, {&S::backstageLove, 0.06}},
        /* comicBit */ {{&S::playfulness, 0.08}, {&S::backstageBuzz, 0.08}},
        /* braveAttempt */ {{&S::admiration, 0.06}, {&S::daringIdentity, 0.08}, {&S::quietResolve, 0.05}},
        /* growthMoment */ {{&S::discipline, 0.07}, {&S::resilience, 0.05}, {&S::precisionConfidence, 0.03}},
        /* strangeMagic */ {{&S::wonder, 0.08}, {&S::superstition, 0.07}},
        /* bondingMoment */ {{&S::bond, 0.06}, {&S::trust, 0.07}, {&S::backstageLove, 0.04}},
        /* duetSpark */ {{&S::chemistry, 0.08}, {&S::trust, 0.05}},
        /* quietResolve */ {{&S::ambitionClarity, 0.07}, {&S::quietResolve, 0.08}},
        /* signatureMoment */ {{&S::fame, 0.08}, {&S::spotlightLove, 0.06}, {&S::ambitionClarity, 0.05}},
        /* softMiss */ {{&S::resilience, 0.025}, {&S::discipline, 0.025}},
        /* playerSeen */ {{&S::bond, 0.08}, {&S::spotlightLove, 0.08}},
        /* mentorBond */ {{&S::bond, 0.06}, {&S::trust, 0.07}, {&S::backstageLove, 0.04}},
        /* warmRivalry */ {{&S::bond, 0.06}, {&S::trust, 0.07}, {&S::backstageLove, 0.04}},
        /* omenMemory */ {{&S::wonder, 0.08}, {&S::superstition, 0.07}},
        /* mythSeed */ {{&S::wonder, 0.08}, {&S::superstition, 0.07}},
        /* discoveryMemory */ {{&S::wonder, 0.06}, {&S::ambitionClarity, 0.05}, {&S::playfulness, 0.04}},
    }};
    return table[static_cast<std::size_t>(outcome)];
}

const std::vector<MemoryEvolutionRule>& memoryEvolutionRules() {
    using T = FleaMemoryTier;
    static const std::vector<MemoryEvolutionRule> rules{
        {{"soft_miss"},
         {},
         {"quiet_practice", "growth_moment"},
         false,
         {"learning"},
         "The gentle miss became practice.",
         std::nullopt,
         "the floor taught me"},
        {{"near_success"},
         {},
         {"brave_attempt"},
         false,
         {"brave_attempt"},
         "The almost became part of the dare.",
         std::nullopt,
         "almost is flying"},
        {{"near_success"},
         {},
         {"signature_moment"},
         false,
         {"signature_move"},
         "The old almost found its final bow.",
         T::longTerm,
         "the bow remembered"},
        {{"recovery"},
         {},
         {"togetherness", "bonding"},
         false,
         {"beloved_story"},
         "The recovery became a story the troupe keeps warm.",
         T::season,
         std::nullopt},
        {{"strange_magic"},
         {},
         {"strange_magic", "mysterious"},
         false,
         {"recurring_motif", "omen"},
         "The sign repeated itself softly.",
         T::longTerm,
         "the bell knew twice"},
        {{"duet_spark"},
         {},
         {"duet_spark", "bonding"},
         false,
         {"friendship_memory"},
         "The duet became a habit of trust.",
         T::season,
         std::nullopt},
        {{"soft_miss"},
         {},
         {"comic_bit"},
         false,
         {"running_bit"},
         "The flop became the bit they keep using.",
         std::nullopt,
         "they still tell that one"},
        {{"brave_attempt"},
         {},
         {"title_seed", "brave_attempt"},
         false,
         {"title_seed"},
         "The leap kept happening; a name began forming.",
         T::season,
         std::nullopt},
        {{"player_seen"},
         {"strange_magic", "recurring_motif"},
         {"bonding", "bond_memory"},
         false,
         {"bond_memory"},
         "Being seen became part of who they are.",
         T::longTerm,
         "you stayed"},
        {{"clean_success"},
         {},
         {"signature_moment"},
         true,
         {"signature_move"},
         "Tonight's win was the same shape as the old one.",
         T::longTerm,
         std::nullopt},
        {{"affectionate_teasing"},
         {},
         {"affectionate_teasing"},
         false,
         {"running_bit"},
         "They keep doing the bit because the audience keeps laughing.",
         T::season,
         std::nullopt},
    };
    return rules;
}

}  // namespace tw::narrative_tables
