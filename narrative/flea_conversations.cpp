// Flea conversations: a three-line scripted exchange that warms the pair's bond.
#include <algorithm>
#include <limits>

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
    if (state.conversations.size() > maxConversations)
        state.conversations.erase(state.conversations.begin(),
                                  state.conversations.end() - static_cast<std::ptrdiff_t>(maxConversations));

    const std::string key = relationshipKey(primary, partner);
    auto found = state.pairBonds.find(key);
    FleaPairBond bond = found != state.pairBonds.end() ? found->second
                                                       : FleaPairBond{.affection = 0.2,
                                                                      .lastInteraction = clock_->now(),
                                                                      .lastDialogueLine = std::nullopt,
                                                                      .interactionCount = 0};
    bond.affection = std::max(std::min(bond.affection + 0.08, 1.0), 0.0);
    bond.lastInteraction = exchange.createdAt;
    if (bond.interactionCount < std::numeric_limits<std::int64_t>::max()) ++bond.interactionCount;
    bond.lastDialogueLine = exchange.lines.back().text;
    state.pairBonds[key] = std::move(bond);
    return exchange;
}

}  // namespace tw
