// The processing pipeline, love statistics and pair bonds.
#include "narrative/flea_narrative_engine.h"

#include <algorithm>
#include <limits>

#include "narrative/narrative_tables.h"
#include "narrative/unit_clamp.h"
#include "platform/unicode.h"

namespace tw {

namespace {

using O = FleaOutcome;
using E = TumblewickEventType;

const Clock& systemClock() {
    static const SystemClock clock;
    return clock;
}

bool holdsAny(const FleaInterpretation& interpretation, std::initializer_list<O> outcomes) {
    return std::any_of(outcomes.begin(), outcomes.end(), [&](O o) { return interpretation.holds(o); });
}

double bondDelta(const TumblewickEventRecord& event, const FleaInterpretation& interpretation) {
    static constexpr E kAffectionTypes[] = {E::duetMoment,         E::socialSupport,   E::socialRivalry,
                                            E::performanceSuccess, E::performanceMiss, E::nearSuccess,
                                            E::signaturePerformed};
    if (interpretation.holds(O::duetSpark)) return 0.08;
    if (holdsAny(interpretation, {O::bondingMoment, O::mentorBond})) return 0.06;
    if (interpretation.holds(O::warmRivalry)) return 0.04;
    if (std::find(std::begin(kAffectionTypes), std::end(kAffectionTypes), event.type) ==
        std::end(kAffectionTypes))
        return 0.02;
    if (holdsAny(interpretation, {O::tenderRecovery, O::quietResolve, O::signatureMoment, O::spotlightBloom,
                                  O::discoveryMemory}))
        return 0.02;
    return -0.015;
}

}  // namespace

FleaNarrativeEngine::FleaNarrativeEngine() : clock_(&systemClock()) {}

FleaNarrativeEngine::FleaNarrativeEngine(const Clock& clock, Calendar calendar,
                                         AgentThoughtRecorder recordThought)
    : clock_(&clock), calendar_(std::move(calendar)), recordThought_(std::move(recordThought)) {}

FleaNarrativeEngine& FleaNarrativeEngine::shared() {
    static FleaNarrativeEngine engine;
    return engine;
}

FleaNarrativeResult FleaNarrativeEngine::process(const TumblewickEventRecord& event,
                                                 FleaNarrativeState& state) const {
    FleaInterpretation interpretation = interpret(event, state);

    FleaLoveStats stats = statsFor(event.primaryFlea, state);
    stats.apply(interpretation.outcomes);
    store(stats, event.primaryFlea, state);

    updatePairBonds(event, interpretation, state);

    std::optional<FleaMemory> memory = makeMemoryCandidate(event, interpretation);
    if (memory) {
        state.memories.push_back(*memory);
        evolveMemories(*memory, state);
        state.memories = prunedMemories(std::move(state.memories));
    }

    FleaDialogue dialogue = generateDialogue(event, interpretation, memory);
    store(dialogue, event.primaryFlea, state);

    if (memory) {
        std::string sentence = unicode::trimmed(dialogue.diaryLine);
        if (!sentence.empty())
            fileDiarySentence(std::move(sentence), calendar_.dayKey(event.occurredAt), state);
    }

    if (!dialogue.thoughtBubble.empty() && recordThought_)
        recordThought_(dialogue.thoughtBubble, event.primaryFlea.name, clock_->now(), calendar_);

    state.recentEvents.push_back(event);
    keepLast(state.recentEvents, maxRecentEvents);

    if (event.type == E::strangeEvent) promoteTroupeMythIfReady(event, state);

    return FleaNarrativeResult{event, std::move(interpretation), std::move(memory), std::move(dialogue)};
}

FleaLoveStats FleaNarrativeEngine::statsFor(const FleaReference& flea, const FleaNarrativeState& state) {
    if (flea.id) {
        if (auto it = state.loveStatsByFleaID.find(*flea.id); it != state.loveStatsByFleaID.end())
            return it->second;
    }
    if (auto it = state.loveStatsByFleaName.find(flea.name); it != state.loveStatsByFleaName.end())
        return it->second;
    return FleaLoveStats{};
}

void FleaNarrativeEngine::store(const FleaLoveStats& stats, const FleaReference& flea,
                                FleaNarrativeState& state) {
    if (flea.id) state.loveStatsByFleaID[*flea.id] = stats;
    state.loveStatsByFleaName[flea.name] = stats;
}

std::string FleaNarrativeEngine::relationshipKey(const FleaReference& a, const FleaReference& b) {
    std::string first = a.keyText();
    std::string second = b.keyText();
    if (second < first) std::swap(first, second);
    return first + "::" + second;
}

void FleaNarrativeEngine::updatePairBonds(const TumblewickEventRecord& event,
                                          const FleaInterpretation& interpretation,
                                          FleaNarrativeState& state) const {
    if (event.involvedFleas.empty()) return;
    const double delta = bondDelta(event, interpretation);
    const FleaReference& a = event.primaryFlea;
    for (const FleaReference& b : event.involvedFleas) {
        const std::string key = relationshipKey(a, b);

        double& affection = state.relationshipAffection.try_emplace(key, 0.2).first->second;
        affection = clampUnit(affection + delta);

        FleaPairBond& bond = touchedBond(key, delta, event.occurredAt, state);
        bond.lastDialogueLine = narrative_tables::relationshipLine(
            interpretation.dominantOutcome, narrative_tables::bondLabel(bond.affection), a.name, b.name);
    }
}

FleaPairBond& FleaNarrativeEngine::touchedBond(const std::string& key, double delta, Date at,
                                               FleaNarrativeState& state) const {
    auto found = state.pairBonds.find(key);
    if (found == state.pairBonds.end())
        found = state.pairBonds
                    .emplace(key, FleaPairBond{.affection = 0.2,
                                               .lastInteraction = clock_->now(),
                                               .lastDialogueLine = std::nullopt,
                                               .interactionCount = 0})
                    .first;
    FleaPairBond& bond = found->second;
    bond.affection = clampUnit(bond.affection + delta);
    bond.lastInteraction = at;
    // The count saturates rather than wrapping into negatives.
    if (bond.interactionCount < std::numeric_limits<std::int64_t>::max()) ++bond.interactionCount;
    return bond;
}

}  // namespace tw
