// Flea conversations: a three-line scripted exchange that warms the pair's bond.
#include "narrative/dialogue_library.h"
#include "narrative/flea_narrative_engine.h"

namespace tw {

FleaConversationExchange FleaNarrativeEngine::triggerConversation(const FleaReference& primary,
                                                                  const FleaReference& partner,
                                                                  FleaNarrativeState& state,
                                                                  const std::string& setting,
                                                                  std::uint64_t /*seed*/) const {
    struct Turn {
        const std::string& speaker;
        FleaOutcome outcome;
    };
    const Turn script[] = {
        {primary.name, FleaOutcome::bondingMoment},
        {partner.name, FleaOutcome::bondingMoment},
        {primary.name, FleaOutcome::tenderRecovery},
    };

    FleaConversationExchange exchange{
        .id = Uuid::random(),
        .createdAt = clock_->now(),
        .participants = {primary, partner},
        .lines = {},
        .outcome = "bonding_moment",
        .setting = setting,
    };
    for (const Turn& turn : script) {
        const std::string& other = turn.speaker == primary.name ? partner.name : primary.name;
        DialogueLibraryLines lines = DialogueLibrary::lines(turn.outcome, other);
        std::string text =
            turn.outcome == FleaOutcome::bondingMoment ? lines.relationship.value_or("") : lines.thought;
        if (text.empty()) text = "...";
        exchange.lines.push_back({turn.speaker, std::move(text)});
    }

    state.conversations.push_back(exchange);
    keepLast(state.conversations, maxConversations);

    FleaPairBond& bond = touchedBond(relationshipKey(primary, partner), 0.08, exchange.createdAt, state);
    bond.lastDialogueLine = exchange.lines.back().text;
    return exchange;
}

}  // namespace tw
