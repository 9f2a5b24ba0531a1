// The nine canned lines of one event, and each flea's last dialogue.
#include "narrative/dialogue_library.h"
#include "narrative/flea_narrative_engine.h"
#include "narrative/narrative_tables.h"

namespace tw {

FleaDialogue FleaNarrativeEngine::generateDialogue(const TumblewickEventRecord& event,
                                                   const FleaInterpretation& interpretation,
                                                   const std::optional<FleaMemory>& /*memory*/) {
    if (event.type == TumblewickEventType::returnEvent) {
        return FleaDialogue{
            .thoughtBubble = "You came back.",
            .colonyLine = "The spotlight remembered you.",
            .diaryLine = "The tent kept humming, and then your footsteps joined it.",
            .gossipLine = std::nullopt,
            .postShowLine = "The player's return warmed the circus.",
            .returnLine = "The tent remembered your footsteps.",
            .relationshipLine = std::nullopt,
            .titleLine = std::nullopt,
            .suggestedIdentityNudge = "bond_with_player",
        };
    }
    std::optional<std::string> other;
    if (!event.involvedFleas.empty()) other = event.involvedFleas.front().name;
    DialogueLibraryLines lines = DialogueLibrary::lines(interpretation.dominantOutcome, other);
    std::optional<std::string> title;
    if (interpretation.holds(FleaOutcome::signatureMoment)) title = "A little name began glowing backstage.";
    return FleaDialogue{
        .thoughtBubble = std::move(lines.thought),
        .colonyLine = std::move(lines.colony),
        .diaryLine = std::move(lines.diary),
        .gossipLine = std::move(lines.gossip),
        .postShowLine = std::move(lines.postShow),
        .returnLine = std::nullopt,
        .relationshipLine = std::move(lines.relationship),
        .titleLine = std::move(title),
        .suggestedIdentityNudge =
            std::string(narrative_tables::identityNudge(interpretation.dominantOutcome)),
    };
}

void FleaNarrativeEngine::store(const FleaDialogue& dialogue, const FleaReference& flea,
                                FleaNarrativeState& state) {
    if (flea.id) state.lastDialogueByFleaID[*flea.id] = dialogue;
    state.lastDialogueByFleaName[flea.name] = dialogue;
}

}  // namespace tw
