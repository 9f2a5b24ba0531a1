// The sentences of the narrative engine: memory summaries and their meanings,
// dialogue hooks, relationship lines, identity nudges and diary verbs.
#include "narrative/narrative_tables.h"

namespace tw::narrative_tables {

namespace {

using O = FleaOutcome;

}  // namespace

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
