#include "narrative/dialogue_library.h"

namespace tw {

DialogueLibraryLines DialogueLibrary::lines(FleaOutcome outcome, const std::optional<std::string>& other) {
    using O = FleaOutcome;
    const auto named = [&](const char* tail) -> std::optional<std::string> {
        if (!other) return std::nullopt;
        return *other + tail;
    };
    switch (outcome) {
        case O::cleanSuccess:
            return {"Clean as a bell.",
                    "That one had corners.",
                    "Tonight my feet knew the song before I did.",
                    std::nullopt,
                    "A precise little bow closed the act.",
                    std::nullopt};
        case O::spotlightBloom:
        case O::playerSeen:
            return {"You saw that.",
                    "The light found me.",
                    "For one little second, I was the whole ring.",
                    std::nullopt,
                    "The spotlight warmed a tiny performer.",
                    std::nullopt};
        case O::tenderRecovery:
            return {"The audience stayed with me.",
                    "The gasp turned soft.",
                    "The hush did not leave; it held the wire steady.",
                    std::nullopt,
                    "A wobble became a beloved recovery.",
                    named(" saw the recovery, not the wobble.")};
        case O::comicBit:
            return {"I invented that.",
                    "Technically, that was theater.",
                    "The hat went left, so naturally I became art.",
                    std::nullopt,
                    "The tent laughed with the bit.",
                    named(" laughed with me. I am counting that.")};
        case O::braveAttempt:
            return {"Almost is flying.",
                    "The leap was true.",
                    "I touched the scary part and came back sparkling.",
                    std::nullopt,
                    "The tent leaned forward for the attempt.",
                    std::nullopt};
        case O::growthMoment:
            return {"Again, but softer.",
                    "My feet learned something.",
                    "My feet found the little answer hiding in the turn.",
                    std::nullopt,
                    "A quiet correction changed tomorrow's practice.",
                    std::nullopt};
        case O::strangeMagic:
        case O::omenMemory:
        case O::mythSeed:
            return {"The bell knew.",
                    "That was not in rehearsal.",
                    "Nobody touched it, but the silver bell rang at my bow.",
                    "The shadow applauded. I saw it.",
                    "The circus tucked away an omen.",
                    std::nullopt};
        case O::bondingMoment:
        case O::mentorBond:
        case O::warmRivalry: {
            const std::string name = other.value_or("someone");
            return {name + " waited.",
                    "We bowed at the same time.",
                    "A small stage gesture became trust.",
                    std::nullopt,
                    "Two performers left the ring closer.",
                    name + " is steadier than the wire."};
        }
        case O::duetSpark:
            return {"That felt like a duet.",
                    "We found the same bow.",
                    "The act briefly had two heartbeats.",
                    std::nullopt,
                    "A shared trick left chemistry in the sawdust.",
                    other.value_or("we") + " caught the timing with me."};
        case O::quietResolve:
            return {"Tomorrow will notice.",
                    "I know where it bent.",
                    "I practiced the answer where nobody clapped.",
                    std::nullopt,
                    "A private resolve settled backstage.",
                    std::nullopt};
        case O::signatureMoment:
            return {"The bow remembered.",
                    "That felt like mine.",
                    "Something small and golden clicked into my name.",
                    std::nullopt,
                    "A stage identity brightened.",
                    std::nullopt};
        case O::softMiss:
            return {"Not tonight.",
                    "The floor was polite.",
                    "The floor was polite, and tomorrow kept my place.",
                    std::nullopt,
                    "A soft miss passed gently.",
                    std::nullopt};
        case O::discoveryMemory:
            return {"First time.",
                    "I tried something new.",
                    "The first time felt strange and wonderful \u2014 and then it felt like mine.",
                    std::nullopt,
                    "A first attempt became a memory.",
                    std::nullopt};
    }
    return {};
}

}  // namespace tw
