#include "agent/flea_agent_scheduler.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "Tumblewick/shell/telemetry/telemetry.h"
#include "agent/flea_agent_core.h"

namespace tw {

double FleaAgentScheduler::weight(EventKind kind) {
    switch (kind) {
        case EventKind::player_attention: return 0.6;
        case EventKind::beat_surface: return 0.4;
        case EventKind::arc_day_rollover: return 0.4;
        case EventKind::notification_open: return 0.3;
    }
    return 0.0;
}

FleaAgentScheduler::FleaAgentScheduler(std::optional<bool> /*featureFlagOverride*/,
                                       StringHashFunction stringHash, DecisionRecorder recordDecision)
    : stringHash_(stringHash ? std::move(stringHash) : processStringHashFunction()),
      recordDecision_(std::move(recordDecision)) {}

void FleaAgentScheduler::registerFlea(const std::string& flea_id, VoiceCard voice_card,
                                      MoodDimensions mood, MemoriesByTier memories) {
    Slot slot;
    slot.flea_id = flea_id;
    slot.voice_card = std::move(voice_card);
    slot.mood = mood;
    slot.memories = std::move(memories);
    slots_.insert_or_assign(flea_id, std::move(slot));
}

void FleaAgentScheduler::unregisterFlea(const std::string& flea_id) { slots_.erase(flea_id); }

void FleaAgentScheduler::setMood(const MoodDimensions& mood, const std::string& flea_id) {
    if (auto it = slots_.find(flea_id); it != slots_.end()) it->second.mood = mood;
}

void FleaAgentScheduler::setMemories(const MemoriesByTier& memories, const std::string& flea_id) {
    if (auto it = slots_.find(flea_id); it != slots_.end()) it->second.memories = memories;
}

void FleaAgentScheduler::updateStage(const StageState& stage) {
    stageState_ = stage;
    if (stage.player_attention_flea_id) {
        if (auto it = slots_.find(*stage.player_attention_flea_id); it != slots_.end())
            it->second.attention_weight += 0.5;
    }
    spotlightFleaID = stage.player_attention_flea_id;
}

void FleaAgentScheduler::updateWorld(const WorldSnapshot& world) { worldSnapshot_ = world; }

bool FleaAgentScheduler::promoteForBill(const std::string& flea_id, Date now, const Calendar& calendar) {
    if (promotedFleaID_ == flea_id) return false;
    promotedFleaID_ = flea_id;
    promotedSinceDayStart_ = calendar.startOfDay(now);
    if (auto it = slots_.find(flea_id); it != slots_.end())
        it->second.attention_weight = std::max(it->second.attention_weight, 0.8);
    return true;
}

void FleaAgentScheduler::clearPromoted() {
    promotedFleaID_.reset();
    promotedSinceDayStart_.reset();
}

void FleaAgentScheduler::clearPromotedIfMidnightPassed(Date now, const Calendar& calendar) {
    if (promotedSinceDayStart_ && !calendar.isSameDay(*promotedSinceDayStart_, now)) clearPromoted();
}

void FleaAgentScheduler::recordEvent(EventKind kind, const std::optional<std::string>& target_flea_id) {
    const double w = weight(kind);
    if (target_flea_id) {
        if (auto it = slots_.find(*target_flea_id); it != slots_.end()) {
            it->second.attention_weight = std::min(it->second.attention_weight + w, 1.0);
            return;
        }
    }
    for (auto& [id, slot] : slots_) slot.attention_weight = std::min(slot.attention_weight + 0.4 * w, 1.0);
}

std::vector<const FleaAgentScheduler::Slot*> FleaAgentScheduler::pickFleas() const {
    std::vector<const Slot*> order;
    order.reserve(slots_.size());
    for (const auto& [id, slot] : slots_) order.push_back(&slot);
    const std::size_t keep = std::min<std::size_t>(order.size(), maxTicksPerStep);
    // Most attention first; then whoever decided longest ago; then id (byte order of
    // UTF-8 is code-point order). Ids are unique, so the order is total.
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end(),
                      [](const Slot* a, const Slot* b) {
                          if (a->attention_weight != b->attention_weight)
                              return a->attention_weight > b->attention_weight;
                          if (a->last_tick_at != b->last_tick_at) return a->last_tick_at < b->last_tick_at;
                          return a->flea_id < b->flea_id;
                      });
    order.resize(keep);
    return order;
}

std::uint64_t FleaAgentScheduler::fleaHash(const std::string& flea_id) const {
    if (seedOverride) return djb2Hash(flea_id);
    return static_cast<std::uint64_t>(stringHash_(flea_id));
}

std::vector<FleaAgentScheduler::PendingTick> FleaAgentScheduler::step(Date now) {
    const double elapsed = now.since(lastStepAt_);
    if (!(elapsed >= minStepGapSeconds)) return {};

    if (lastStepAt_ > distantPast) {
        const double dt = std::min(elapsed, maxRelaxSeconds);
        for (auto& [id, slot] : slots_) slot.mood = slot.mood.decayed(dt);
    }
    lastStepAt_ = now;

    if (promotedFleaID_) {
        if (auto it = slots_.find(*promotedFleaID_); it != slots_.end())
            it->second.attention_weight = std::max(it->second.attention_weight, 0.7);
    }

    // Inputs are taken before anyone decides: telemetry and the pulse recorder run
    // between the two decisions, and the second flea sees the state of the step's start.
    struct Candidate {
        std::string flea_id;
        AgentInput input;
    };
    std::vector<Candidate> candidates;
    for (const Slot* slot : pickFleas())
        candidates.push_back({slot->flea_id, AgentInput::make(slot->voice_card, slot->mood, slot->memories,
                                                              worldSnapshot_, stageState_, slot->recent_intents)});
    if (candidates.empty()) return {};

    ++tickCounter_;
    const std::uint64_t baseSeed = seedOverride ? *seedOverride + tickCounter_
                                                : std::bit_cast<std::uint64_t>(now.seconds);

    std::vector<PendingTick> ticks;
    ticks.reserve(candidates.size());
    for (auto& candidate : candidates) {
        const std::string& id = candidate.flea_id;
        const std::uint64_t seed = fleaHash(id) + baseSeed;
        AgentIntent intent = FleaAgentCore::tick(candidate.input, seed, stringHash_);
        ticks.push_back(PendingTick{id, intent, now});

        const std::string action(rawValue(intent.action));
        if (now.since(lastDecisionTelemetryAt_) >= 1.0) {
            Telemetry::track("flea_agent_decision_made", TelemetryProperties{{"flea_id", id}, {"intent", action}});
            lastDecisionTelemetryAt_ = now;
        }
        if (intent.action != AgentAction::perform_assigned_act)
            Telemetry::track("flea_agent_action_chosen", TelemetryProperties{{"flea_id", id}, {"intent", action}});
        const bool initiative = FleaAgentCore::isInitiativeAction(intent.action);
        if (initiative)
            Telemetry::track("flea_agent_initiative", TelemetryProperties{{"flea_id", id}, {"intent_kind", action}});
        if (recordDecision_) recordDecision_(id, action, initiative, now);

        auto it = slots_.find(id);
        if (it == slots_.end()) continue;
        Slot& slot = it->second;
        slot.recent_intents.push_back(intent);
        if (slot.recent_intents.size() > AgentInput::maxRecentIntents)
            slot.recent_intents.erase(slot.recent_intents.begin());
        slot.last_tick_at = now;
        slot.attention_weight *= 0.5;
        slot.mood = slot.mood.applyingDelta(intent.mood_delta);
    }
    return ticks;
}

std::vector<FleaAgentScheduler::DiagnosticEntry> FleaAgentScheduler::diagnostics() const {
    std::vector<DiagnosticEntry> entries;
    entries.reserve(slots_.size());
    for (const auto& [id, slot] : slots_) {
        DiagnosticEntry entry{slot.flea_id, slot.last_tick_at, slot.attention_weight, {}, slot.mood};
        for (const auto& intent : slot.recent_intents) entry.recent_intent_actions.emplace_back(rawValue(intent.action));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<double> FleaAgentScheduler::attentionWeight(const std::string& flea_id) const {
    if (auto it = slots_.find(flea_id); it != slots_.end()) return it->second.attention_weight;
    return std::nullopt;
}

std::optional<MoodDimensions> FleaAgentScheduler::mood(const std::string& flea_id) const {
    if (auto it = slots_.find(flea_id); it != slots_.end()) return it->second.mood;
    return std::nullopt;
}

}  // namespace tw
