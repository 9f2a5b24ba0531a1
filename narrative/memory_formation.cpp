// Memory formation: the gate, the tier and texts of a new memory, evolution of a
// flea's older memories, and pruning to the memories most worth keeping.
#include <algorithm>

#include "narrative/flea_narrative_engine.h"
#include "narrative/flea_narrative_tuning.h"
#include "narrative/memory_order.h"
#include "narrative/narrative_tables.h"

namespace tw {

namespace {

using O = FleaOutcome;

FleaMemoryTier tierFor(const TumblewickEventRecord& event, const FleaInterpretation& interpretation) {
    const double i = interpretation.importance;
    if (event.context.playerPinned) return FleaMemoryTier::legend;
    if (i > 0.9 && (interpretation.holds(O::signatureMoment) || interpretation.holds(O::strangeMagic) ||
                    interpretation.holds(O::mythSeed)))
        return FleaMemoryTier::legend;
    if (i > 0.85) return FleaMemoryTier::longTerm;
    if (i > 0.7) return FleaMemoryTier::season;
    if (i > 0.45) return FleaMemoryTier::recent;
    return FleaMemoryTier::immediate;
}

bool hasAny(const FleaMemory& memory, const std::vector<std::string_view>& tags) {
    return std::any_of(tags.begin(), tags.end(), [&](std::string_view t) { return memory.hasTag(t); });
}

bool ruleHolds(const MemoryEvolutionRule& rule, const FleaMemory& older, const FleaMemory& newer) {
    for (std::string_view tag : rule.olderHasAll)
        if (!older.hasTag(tag)) return false;
    if (hasAny(older, rule.olderLacksAll)) return false;
    return hasAny(newer, rule.newerHasAny) || (rule.newerPinnedCounts && newer.pinned);
}

// The name decides whenever the ids are absent or differ.
bool sameFleaForEvolution(const FleaReference& older, const FleaReference& newer) {
    return (newer.id && older.id == newer.id) || older.name == newer.name;
}

}  // namespace

std::optional<FleaMemory> FleaNarrativeEngine::makeMemoryCandidate(
    const TumblewickEventRecord& event, const FleaInterpretation& interpretation) const {
    const FleaNarrativeTuning::MemoryGate gate = FleaNarrativeTuning::current().memoryGate;
    if (!(interpretation.importance >= gate.minImportanceForMemoryRecord) && !event.context.playerPinned)
        return std::nullopt;

    const O dominant = interpretation.dominantOutcome;
    const std::string& name = event.primaryFlea.name;
    std::optional<std::string> firstInvolved;
    if (!event.involvedFleas.empty()) firstInvolved = event.involvedFleas.front().name;

    return FleaMemory::make(FleaMemory{
        .id = Uuid::random(),
        .flea = event.primaryFlea,
        .sourceEventID = event.id,
        .createdAt = event.occurredAt,
        .tier = tierFor(event, interpretation),
        .tags = interpretation.memoryTags,
        .summaryFact = event.fact.empty() ? narrative_tables::summary(dominant, name, event.act) : event.fact,
        .emotionalMeaning = event.type == TumblewickEventType::returnEvent
                                ? std::string(narrative_tables::kReturnMeaning)
                                : narrative_tables::emotionalMeaning(dominant, name),
        .tone = interpretation.tone,
        .importance = interpretation.importance,
        .involvedFleas = event.involvedFleas,
        .playerInvolved = event.context.playerAttention >= gate.playerInvolvedAttentionMin ||
                          event.type == TumblewickEventType::playerEncouragement ||
                          event.type == TumblewickEventType::playerGift,
        .possibleDialogueHooks = narrative_tables::dialogueHooks(dominant, firstInvolved),
        .pinned = event.context.playerPinned,
    });
}

void FleaNarrativeEngine::evolveMemories(const FleaMemory& added, FleaNarrativeState& state) {
    const auto& rules = narrative_tables::memoryEvolutionRules();
    for (FleaMemory& older : state.memories) {
        if (older.id == added.id || !sameFleaForEvolution(older.flea, added.flea)) continue;

        FleaMemory copy = older;
        bool newTag = false;
        for (const MemoryEvolutionRule& rule : rules) {
            if (!ruleHolds(rule, copy, added)) continue;
            for (std::string_view tag : rule.tags) {
                if (copy.hasTag(tag)) continue;
                copy.tags.emplace_back(tag);
                newTag = true;
            }
            copy.emotionalMeaning = std::string(rule.meaning);
            if (rule.tierFloor && copy.tier < *rule.tierFloor) copy.tier = *rule.tierFloor;
            if (rule.hook && std::find(copy.possibleDialogueHooks.begin(), copy.possibleDialogueHooks.end(),
                                       *rule.hook) == copy.possibleDialogueHooks.end())
                copy.possibleDialogueHooks.emplace_back(*rule.hook);
        }
        // Rules that only restate what the memory already carries leave it untouched.
        if (!newTag) continue;
        copy.importance = std::min(copy.importance + 0.08, 1.0);
        older = std::move(copy);
    }
}

std::vector<FleaMemory> FleaNarrativeEngine::prunedMemories(std::vector<FleaMemory> memories) {
    // Sort positions rather than the records themselves, then move the kept records into
    // their places within the same buffer: no second list, and the caller's next append
    // finds the capacity it had.
    std::vector<std::size_t> order(memories.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keepsBefore(memories[a], memories[b]); });
    if (order.size() > maxMemories) order.resize(maxMemories);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return rankedScore(memories[a].createdAt.seconds) < rankedScore(memories[b].createdAt.seconds);
    });
    // place[i]: where the record now at i belongs, or `dropped`. Each swap settles one record.
    constexpr std::size_t dropped = static_cast<std::size_t>(-1);
    std::vector<std::size_t> place(memories.size(), dropped);
    for (std::size_t k = 0; k < order.size(); ++k) place[order[k]] = k;
    for (std::size_t i = 0; i < place.size(); ++i) {
        while (place[i] != dropped && place[i] != i) {
            const std::size_t j = place[i];
            std::swap(memories[i], memories[j]);
            std::swap(place[i], place[j]);
        }
    }
    memories.erase(memories.begin() + static_cast<std::ptrdiff_t>(order.size()), memories.end());
    return memories;
}

}  // namespace tw
