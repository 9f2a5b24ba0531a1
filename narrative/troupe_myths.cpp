// Troupe myths: a strange fact seen by three different fleas within a week.
#include <set>

#include "narrative/flea_narrative_engine.h"
#include "platform/unicode.h"

namespace tw {

namespace {

constexpr double kSightingWindowSeconds = 604800.0;
constexpr std::size_t kWitnessesNeeded = 3;

}  // namespace

void FleaNarrativeEngine::promoteTroupeMythIfReady(const TumblewickEventRecord& event,
                                                   FleaNarrativeState& state) {
    const std::string& motif = event.fact;
    if (motif.empty()) return;
    for (const TroupeMyth& myth : state.troupeMyths)
        if (myth.motif == motif) return;

    const Date cutoff = event.occurredAt.adding(-kSightingWindowSeconds);
    std::set<Uuid> ids;
    std::set<std::string> names;
    auto witness = [&](const FleaReference& flea) {
        if (flea.id) ids.insert(*flea.id);
        names.insert(flea.name);
    };
    for (const TumblewickEventRecord& seen : state.recentEvents)
        if (seen.type == TumblewickEventType::strangeEvent && seen.fact == motif && seen.occurredAt >= cutoff)
            witness(seen.primaryFlea);
    witness(event.primaryFlea);

    if (std::max(ids.size(), names.size()) < kWitnessesNeeded) return;

    state.troupeMyths.push_back(TroupeMyth{
        .id = Uuid::random(),
        .motif = motif,
        .witnessFleaIDs = {ids.begin(), ids.end()},
        .witnessFleaNames = {names.begin(), names.end()},
        .originDate = event.occurredAt,
        .dialogueLine =
            "The troupe agrees: when " + unicode::lowercased(motif) + ", it means tomorrow will be kinder.",
    });
}

}  // namespace tw
