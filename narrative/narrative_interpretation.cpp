// Interpretation of one event: outcomes, dominant outcome, tags, tone, importance.
#include <algorithm>
#include <cmath>

#include "narrative/flea_narrative_engine.h"
#include "narrative/flea_narrative_tuning.h"
#include "narrative/narrative_tables.h"
#include "narrative/unit_clamp.h"

namespace tw {

namespace {

using O = FleaOutcome;
using E = TumblewickEventType;
using Outcomes = std::vector<FleaOutcome>;

bool holds(const Outcomes& list, O outcome) {
    return std::find(list.begin(), list.end(), outcome) != list.end();
}

bool holdsAny(const Outcomes& list, std::initializer_list<O> outcomes) {
    return std::any_of(outcomes.begin(), outcomes.end(), [&](O o) { return holds(list, o); });
}

Outcomes candidates(const TumblewickEventRecord& event, const FleaNarrativeTuning& t) {
    const FleaEventResultMetrics& r = event.rawResult;
    const FleaEventContext& c = event.context;
    Outcomes out;
    auto add = [&](O o) { out.push_back(o); };
    switch (event.type) {
        case E::performanceSuccess: {
            const auto& s = t.performanceSuccessTriggers;
            if (r.precision >= s.cleanSuccessPrecisionMin) add(O::cleanSuccess);
            if (c.playerAttention >= s.spotlightAttentionMin) add(O::spotlightBloom);
            if (r.heart >= s.signatureHeartMin) add(O::signatureMoment);
            if (c.wonder >= s.strangeMagicWonderMin) add(O::strangeMagic);
            if (c.troupeReaction >= s.bondingTroupeReactionMin) add(O::bondingMoment);
            if (out.empty()) add(O::cleanSuccess);
            break;
        }
        case E::performanceMiss: {
            const auto& m = t.performanceMissTriggers;
            if (r.recovery >= m.tenderRecoveryRecoveryMin && c.tentWarmth >= m.tenderRecoveryTentWarmthMin)
                add(O::tenderRecovery);
            if (r.charm >= m.comicBitCharmMin) add(O::comicBit);
            if (r.daring >= m.braveAttemptDaringMin) add(O::braveAttempt);
            if (c.playerAttention >= m.spotlightAttentionMin) {
                add(O::spotlightBloom);
                add(O::bondingMoment);
            }
            if (c.wonder >= m.strangeMagicWonderMin || r.novelty >= m.strangeMagicNoveltyMin)
                add(O::strangeMagic);
            if (out.empty()) {
                add(O::softMiss);
                add(O::growthMoment);
            }
            break;
        }
        case E::nearSuccess: {
            const auto& n = t.nearSuccessTriggers;
            if (r.daring >= n.braveAttemptDaringMin) add(O::braveAttempt);
            if (r.heart >= n.quietResolveHeartMin) add(O::quietResolve);
            if (c.playerAttention >= n.bondingAttentionMin) add(O::bondingMoment);
            if (c.recurrenceCount >= 1) add(O::growthMoment);
            if (r.charm >= n.comicBitCharmMin) add(O::comicBit);
            if (out.empty()) add(O::softMiss);
            break;
        }
        case E::recovery:
            add(O::tenderRecovery);
            add(O::growthMoment);
            break;
        case E::playerAttention:
            if (c.attentionLingerSeconds >= t.playerAttention.lingerSecondsForPlayerSeen) {
                add(O::playerSeen);
                if (c.recurrenceCount >= 1) add(O::bondingMoment);
            } else if (c.previousEventType == E::performanceMiss || c.previousEventType == E::nearSuccess) {
                add(O::tenderRecovery);
                add(O::playerSeen);
            } else if (c.previousEventType == E::performanceSuccess) {
                add(O::signatureMoment);
                add(O::spotlightBloom);
            } else {
                add(c.recurrenceCount > 0 ? O::bondingMoment : O::spotlightBloom);
                add(O::playerSeen);
            }
            break;
        case E::playerEncouragement:
            if (c.riskyTrickPending) {
                add(O::bondingMoment);
                add(O::braveAttempt);
            } else {
                add(O::tenderRecovery);
                add(O::bondingMoment);
            }
            break;
        case E::playerGift:
            add(O::spotlightBloom);
            add(O::signatureMoment);
            if (c.wonder >= t.playerEvents.playerGiftStrangeMagicWonderMin ||
                r.novelty >= t.playerEvents.playerGiftStrangeMagicNoveltyMin)
                add(O::strangeMagic);
            break;
        case E::socialSupport:
            if (c.supporterIsRival) {
                add(c.recurrenceCount > 0 ? O::warmRivalry : O::duetSpark);
                add(O::bondingMoment);
            } else {
                add(c.recurrenceCount > 1 ? O::mentorBond : O::bondingMoment);
                if (r.recovery >= t.playerEvents.socialSupportTenderRecoveryMin) add(O::tenderRecovery);
            }
            break;
        case E::socialRivalry:
            add(O::warmRivalry);
            add(O::braveAttempt);
            break;
        case E::duetMoment:
            add(O::duetSpark);
            add(O::bondingMoment);
            break;
        case E::propEvent:
            add(r.charm >= t.playerEvents.propEventCharmThreshold ? O::comicBit : O::signatureMoment);
            if (c.wonder >= t.playerEvents.propEventStrangeMagicWonderMin) add(O::strangeMagic);
            break;
        case E::strangeEvent:
            add(c.wonder >= t.playerEvents.strangeEventStrangeMagicWonderMin ? O::strangeMagic
                                                                             : O::signatureMoment);
            if (c.playerAttention >= t.playerEvents.strangeEventSpotlightAttentionMin) add(O::spotlightBloom);
            if (c.recurrenceCount >= 1) add(O::mythSeed);
            break;
        case E::promotionEvent:
        case E::nicknameEvent:
            add(O::signatureMoment);
            add(O::spotlightBloom);
            break;
        case E::quietPractice:
            add(r.precision >= t.playerEvents.quietPracticePrecisionMin ? O::growthMoment : O::quietResolve);
            break;
        case E::returnEvent:
            add(O::bondingMoment);
            add(O::spotlightBloom);
            break;
        case E::signaturePerformed:
            add(O::signatureMoment);
            if (c.playerAttention >= 0.5) add(O::spotlightBloom);
            if (c.troupeReaction >= 0.55) add(O::bondingMoment);
            if (c.wonder >= 0.55) add(O::strangeMagic);
            break;
    }
    return out;
}

void applyTraits(const TumblewickEventRecord& event, Outcomes& out) {
    const FleaEventContext& c = event.context;
    if (c.has(FleaTrait::ambitionCompetitive) && holdsAny(out, {O::cleanSuccess, O::spotlightBloom}))
        out.push_back(O::signatureMoment);
    if (c.has(FleaTrait::ambitionCurious) && c.isFirstAttemptOnAct) out.push_back(O::discoveryMemory);
    if (c.has(FleaTrait::superstitionOmenist) && event.type == E::strangeEvent) out.push_back(O::omenMemory);
    if (c.has(FleaTrait::socialLoner) && !holds(out, O::playerSeen)) {
        std::erase_if(out, [](O o) { return o == O::bondingMoment || o == O::duetSpark; });
        out.push_back(O::quietResolve);
    }
    if (c.has(FleaTrait::socialDuet) && !event.involvedFleas.empty()) out.push_back(O::duetSpark);
}

// Runs after the traits, so it can put back what a loner lost.
void secondPass(const TumblewickEventRecord& event, const FleaNarrativeTuning& t, Outcomes& out) {
    const FleaEventContext& c = event.context;
    switch (event.type) {
        case E::playerAttention:
            if (c.attentionLingerSeconds >= t.playerAttention.lingerSecondsForPlayerSeen)
                out.push_back(O::playerSeen);
            if (c.previousEventType == E::performanceMiss || c.previousEventType == E::nearSuccess)
                out.push_back(O::tenderRecovery);
            else if (c.previousEventType == E::performanceSuccess ||
                     c.previousEventType == E::signaturePerformed)
                out.push_back(O::signatureMoment);
            break;
        case E::playerEncouragement:
            if (c.riskyTrickPending) out.push_back(O::bondingMoment);
            break;
        case E::socialSupport:
            if (c.supporterIsRival) {
                out.push_back(c.recurrenceCount > 0 ? O::warmRivalry : O::duetSpark);
                out.push_back(O::bondingMoment);
            }
            break;
        case E::strangeEvent:
            if (c.wonder >= 0.55 && c.has(FleaTrait::superstitionOmenist)) out.push_back(O::omenMemory);
            break;
        default:
            break;
    }
}

template <typename T>
void keepFirstOccurrences(std::vector<T>& list) {
    std::vector<T> unique;
    unique.reserve(list.size());
    for (const T& item : list)
        if (std::find(unique.begin(), unique.end(), item) == unique.end()) unique.push_back(item);
    list = std::move(unique);
}

O dominantOf(const TumblewickEventRecord& event, const Outcomes& outcomes) {
    std::span<const O> priority = narrative_tables::actOutcomePriority(event.act, event.type);
    if (priority.empty()) priority = narrative_tables::defaultOutcomePriority(event.type);
    for (O candidate : priority)
        if (holds(outcomes, candidate)) return candidate;
    return outcomes.empty() ? O::softMiss : outcomes.front();
}

std::vector<std::string> memoryTags(const TumblewickEventRecord& event, const Outcomes& outcomes,
                                    const FleaNarrativeTuning& t) {
    if (outcomes.empty()) return {};
    const FleaEventResultMetrics& r = event.rawResult;
    const FleaEventContext& c = event.context;
    const bool partners = !event.involvedFleas.empty();
    std::vector<std::string> tags;
    for (O o : outcomes) tags.emplace_back(rawValue(o));
    if (c.playerAttention >= t.memoryGate.tagPlayerSeenMin) tags.emplace_back("player_seen");
    if (c.tentWarmth >= t.memoryGate.tagTogethernessMin) tags.emplace_back("togetherness");
    if (partners) tags.emplace_back("bonding");
    if (c.wonder >= t.memoryGate.tagMysteriousMin) tags.emplace_back("mysterious");
    if (auto tag = narrative_tables::typeTag(event.type); !tag.empty()) tags.emplace_back(tag);
    if (std::find(tags.begin(), tags.end(), "signature_moment") != tags.end())
        tags.emplace_back("signature_move");
    if (holdsAny(outcomes, {O::bondingMoment, O::mentorBond, O::warmRivalry}))
        tags.emplace_back("backstage_love");
    if (event.type == E::returnEvent || (c.tentWarmth >= 0.7 && holds(outcomes, O::playerSeen)))
        tags.emplace_back("cozy");
    if (holdsAny(outcomes, {O::spotlightBloom, O::signatureMoment})) tags.emplace_back("electric");
    if (holds(outcomes, O::braveAttempt) && r.daring >= 0.75) tags.emplace_back("title_seed");
    if (holds(outcomes, O::signatureMoment) && c.playerPinned) tags.emplace_back("legend_seed");
    if (c.has(FleaTrait::superstitionOmenist) && holdsAny(outcomes, {O::omenMemory, O::strangeMagic}))
        tags.emplace_back("superstition_reinforced");
    if (holds(outcomes, O::warmRivalry)) tags.emplace_back("rival_noticed");
    if (holds(outcomes, O::mentorBond)) tags.emplace_back("mentor_support");
    if (holds(outcomes, O::comicBit) && partners) tags.emplace_back("affectionate_teasing");
    if (holds(outcomes, O::spotlightBloom) && c.troupeReaction >= 0.65) tags.emplace_back("admiration");
    if (holds(outcomes, O::tenderRecovery) && partners && r.heart >= 0.65)
        tags.emplace_back("protective_bond");
    keepFirstOccurrences(tags);
    return tags;
}

// Same flea for the repetition bonus: equal ids (two absent ids count as equal) or
// equal names. So any two fleas without ids match here, whatever their names.
bool sameFleaForRepetition(const FleaReference& a, const FleaReference& b) {
    return a.id == b.id || a.name == b.name;
}

}  // namespace

FleaInterpretation FleaNarrativeEngine::interpret(const TumblewickEventRecord& event,
                                                  const FleaNarrativeState& state) {
    const FleaNarrativeTuning tuning = FleaNarrativeTuning::current();
    Outcomes outcomes = candidates(event, tuning);
    applyTraits(event, outcomes);
    secondPass(event, tuning, outcomes);
    keepFirstOccurrences(outcomes);

    FleaInterpretation result;
    result.dominantOutcome = dominantOf(event, outcomes);
    result.memoryTags = memoryTags(event, outcomes, tuning);
    result.tone = std::string(narrative_tables::tone(result.dominantOutcome));
    result.importance = importance(event, outcomes, state);
    result.outcomes = std::move(outcomes);
    return result;
}

double FleaNarrativeEngine::importance(const TumblewickEventRecord& event,
                                       const std::vector<FleaOutcome>& outcomes,
                                       const FleaNarrativeState& state) {
    const FleaEventResultMetrics& r = event.rawResult;
    const FleaEventContext& c = event.context;

    double base = 0.4;
    if (!outcomes.empty()) {
        base = narrative_tables::baseImportance(outcomes.front());
        for (O o : outcomes) base = std::max(base, narrative_tables::baseImportance(o));
    }
    double v = r.heart * 0.2 + c.playerAttention * 0.25 + c.relationshipRelevance * 0.2 + r.novelty * 0.15 +
               base * 0.15 + std::min(static_cast<double>(c.recurrenceCount) * 0.15, 1.0) * 0.05;
    if (c.playerPinned && v <= 0.88) v = 0.88;
    if (!event.involvedFleas.empty()) v += 0.1;
    if (holdsAny(outcomes, {O::braveAttempt, O::quietResolve})) v += 0.1;
    if (holdsAny(outcomes, {O::strangeMagic, O::omenMemory})) v += 0.1;
    if (c.recurrenceCount == 0 &&
        std::none_of(state.recentEvents.begin(), state.recentEvents.end(),
                     [&](const TumblewickEventRecord& e) { return e.type == event.type; }))
        v += 0.15;
    if (base < 0.5 && c.playerAttention < 0.25) v -= 0.18;
    if (event.type == E::signaturePerformed && v <= 0.88) v = 0.88;

    if (c.has(FleaTrait::ambitionCompetitive) &&
        holdsAny(outcomes, {O::cleanSuccess, O::signatureMoment, O::spotlightBloom}))
        v += 0.08;
    if (c.has(FleaTrait::ambitionMellow) && holdsAny(outcomes, {O::signatureMoment, O::spotlightBloom}))
        v -= 0.05;
    if (c.has(FleaTrait::ambitionCurious) && holdsAny(outcomes, {O::discoveryMemory, O::strangeMagic}))
        v += 0.1;
    if (c.has(FleaTrait::superstitionOmenist) &&
        holdsAny(outcomes, {O::omenMemory, O::strangeMagic, O::mythSeed}))
        v += 0.12;
    if (c.has(FleaTrait::superstitionSkeptic) && holds(outcomes, O::omenMemory)) v -= 0.08;

    if (!event.fact.empty()) {
        const auto repeats = std::count_if(state.recentEvents.begin(), state.recentEvents.end(),
                                           [&](const TumblewickEventRecord& e) {
                                               return e.fact == event.fact && e.id != event.id &&
                                                      sameFleaForRepetition(e.primaryFlea, event.primaryFlea);
                                           });
        if (repeats > 0) v += std::min(static_cast<double>(repeats) * 0.05, 0.2);
    }
    return clampUnit(v);
}

double FleaNarrativeEngine::decayedImportance(double original, Date createdAt, Date now) {
    const double months = now.since(createdAt) / 2592000.0;
    if (!(months > 0)) return original;
    return std::max(0.0, original * std::pow(0.95, months));
}

}  // namespace tw
