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

std::string summary(FleaOutcome dominant, const std::string& n, const std::string& a) {
    switch (dominant) {
        case O::cleanSuccess:
            return n + " landed a clean " + a + " pass.";
        case O::tenderRecovery:
            return n + " wobbled during " + a + " and found rhythm again.";
        case O::comicBit:
            return n + " turned " + a + " chaos into a bit.";
        case O::braveAttempt:
            return n + " reached for a daring " + a + " moment.";
        case O::signatureMoment:
            return n + "'s " + a + " moment felt defining.";
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return n + "'s " + a + " moment felt uncannily timed.";
        default:
            return n + " had a small " + a + " moment.";
    }
}

std::string emotionalMeaning(FleaOutcome dominant, const std::string& n) {
    switch (dominant) {
        case O::cleanSuccess:
            return "The act felt bright and exact.";
        case O::spotlightBloom:
        case O::playerSeen:
            return n + " felt warmly noticed.";
        case O::tenderRecovery:
            return "The tent stayed with " + n + ".";
        case O::comicBit:
            return "The chaos became beloved theater.";
        case O::braveAttempt:
            return "The reach mattered as much as the landing.";
        case O::growthMoment:
        case O::quietResolve:
            return "Tomorrow learned where to begin.";
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return "The circus took it as a sign.";
        case O::bondingMoment:
        case O::duetSpark:
        case O::mentorBond:
        case O::warmRivalry:
            return "The stage felt shared.";
        case O::signatureMoment:
            return "A piece of stage identity clicked into place.";
        case O::softMiss:
            return "The moment passed gently.";
        case O::discoveryMemory:
            return n + " tried something for the first time.";
    }
    return "";
}

std::vector<std::string> dialogueHooks(FleaOutcome dominant,
                                       const std::optional<std::string>& firstInvolved) {
    switch (dominant) {
        case O::cleanSuccess:
            return {"clean as a bell", "the bow was the trick", "landed like a secret"};
        case O::spotlightBloom:
        case O::playerSeen:
            return {"you saw that", "the light found me", "tiny then enormous"};
        case O::tenderRecovery:
            return {"the audience stayed close", "the gasp turned soft", "the tent caught its breath"};
        case O::comicBit:
            return {"I invented that", "technically theater", "meant most of it"};
        case O::braveAttempt:
            return {"almost flew", "next time higher", "the leap was true"};
        case O::growthMoment:
        case O::quietResolve:
            return {"again but softer", "my feet learned", "tomorrow will notice"};
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return {"the bell knew", "not in rehearsal", "the shadow applauded"};
        case O::signatureMoment:
            return {"the name glowed", "part of me now", "the bow remembered"};
        case O::softMiss:
            return {"not tonight", "floor was polite", "landed in tomorrow"};
        case O::discoveryMemory:
            return {"first time", "the world didn't end", "I'm allowed to be new at this"};
        case O::bondingMoment:
        case O::duetSpark:
        case O::mentorBond:
        case O::warmRivalry:
            return {firstInvolved ? *firstInvolved + " waited" : std::string("we bowed together"),
                    "beside me", "same bow"};
    }
    return {};
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

std::string_view bondLabel(double affection) {
    if (affection >= 0.65) return "devoted";
    if (affection >= 0.4) return "warm";
    return "cool";
}

std::string relationshipLine(FleaOutcome dominant, std::string_view label, const std::string& a,
                             const std::string& b) {
    const bool devoted = label == "devoted";
    const bool warm = label == "warm";
    switch (dominant) {
        case O::tenderRecovery:
            return b + " stood with " + a + " when the wire wobbled.";
        case O::bondingMoment:
        case O::mentorBond:
            if (devoted)
                return a + " trusts " + b + "'s hands more than " + (a == b ? "anyone's" : "their own") + ".";
            if (warm) return a + " waits for " + b + " before bowing.";
            return a + " lets " + b + " catch the eye.";
        case O::duetSpark:
            return a + " and " + b + " found the same beat.";
        case O::signatureMoment:
            return b + " saw " + a + " become themselves tonight.";
        case O::warmRivalry:
            if (devoted) return a + " measures the night by what " + b + " attempted.";
            return a + " keeps an honest eye on " + b + ".";
        case O::discoveryMemory:
            return b + " laughed first, kindly, and " + a + " tried again.";
        default:
            if (devoted) return a + " and " + b + " move like they share a mirror.";
            if (warm) return a + " and " + b + " trade small kindnesses backstage.";
            return a + " and " + b + " are still finding the same rhythm.";
    }
}

std::string_view identityNudge(FleaOutcome dominant) {
    switch (dominant) {
        case O::cleanSuccess:
            return "precision_confidence";
        case O::spotlightBloom:
        case O::playerSeen:
            return "bond_with_player";
        case O::tenderRecovery:
        case O::softMiss:
            return "resilience";
        case O::comicBit:
            return "charm";
        case O::braveAttempt:
            return "daring";
        case O::growthMoment:
        case O::quietResolve:
            return "discipline";
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return "superstition_reinforced";
        case O::bondingMoment:
        case O::duetSpark:
        case O::mentorBond:
        case O::warmRivalry:
            return "trust";
        case O::signatureMoment:
            return "identity_lock_in";
        case O::discoveryMemory:
            return "curiosity_rewarded";
    }
    return "";
}

std::string_view diaryVerb(FleaOutcome outcome) {
    switch (outcome) {
        case O::cleanSuccess:
        case O::spotlightBloom:
        case O::signatureMoment:
            return "stuck the landing";
        case O::tenderRecovery:
            return "saved a near-miss";
        case O::comicBit:
            return "made the audience forget itself";
        case O::braveAttempt:
            return "took a brave leap";
        case O::growthMoment:
        case O::discoveryMemory:
            return "felt a little taller";
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return "saw something nobody else did";
        case O::bondingMoment:
        case O::duetSpark:
        case O::mentorBond:
        case O::warmRivalry:
            return "shared a moment with the troupe";
        case O::quietResolve:
        case O::softMiss:
            return "wobbled but held";
        case O::playerSeen:
            return "felt the player's gaze";
    }
    return "";
}

}  // namespace tw::narrative_tables
