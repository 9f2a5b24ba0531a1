#include "agent/flea_agent_scheduler.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "agent/flea_agent_core.h"

namespace tw {

double FleaAgentScheduler::weight(EventKind kind) {
    switch (kind) {
        case EventKind::player_attention:
            return 0.6;
        case EventKind::beat_surface:
            return 0.4;
        case EventKind::arc_day_rollover:
            return 0.4;
        case EventKind::notification_open:
            return 0.3;
    }
    return 0.0;
}

FleaAgentScheduler::FleaAgentScheduler(std::optional<bool> /*featureFlagOverride*/,
                                       StringHashFunction stringHash, DecisionRecorder recordDecision,
                                       TelemetrySink& telemetry)
    : stringHash_(stringHash ? std::move(stringHash) : processStringHashFunction()),
      recordDecision_(std::move(recordDecision)),
      telemetry_(telemetry) {}

void FleaAgentScheduler::registerFlea(const std::string& flea_id, VoiceCard voice_card, MoodDimensions mood,
                                      MemoriesByTier memories) {
    Slot slot;
    slot.flea_id = flea_id;
    slot.input.voice_card = std::move(voice_card);
    slot.input.mood = mood;
    slot.input.memories_by_tier = std::move(memories);
    slots_.insert_or_assign(flea_id, std::move(slot));
}

void FleaAgentScheduler::unregisterFlea(const std::string& flea_id) { slots_.erase(flea_id); }

void FleaAgentScheduler::setMood(const MoodDimensions& mood, const std::string& flea_id) {
    if (auto it = slots_.find(flea_id); it != slots_.end()) it->second.input.mood = mood;
}

void FleaAgentScheduler::setMemories(const MemoriesByTier& memories, const std::string& flea_id) {
    if (auto it = slots_.find(flea_id); it != slots_.end()) it->second.input.memories_by_tier = memories;
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

std::vector<FleaAgentScheduler::Slot*> FleaAgentScheduler::pickFleas() {
    std::vector<Slot*> order;
    order.reserve(slots_.size());
    for (auto& [id, slot] : slots_) order.push_back(&slot);
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
        const MoodDimensions::Decay relax(std::min(elapsed, maxRelaxSeconds));
        for (auto& [id, slot] : slots_) slot.input.mood = relax(slot.input.mood);
    }
    lastStepAt_ = now;

    if (promotedFleaID_) {
        if (auto it = slots_.find(*promotedFleaID_); it != slots_.end())
            it->second.attention_weight = std::max(it->second.attention_weight, 0.7);
    }

    const std::vector<Slot*> picked = pickFleas();
    if (picked.empty()) return {};

    ++tickCounter_;
    const std::uint64_t baseSeed =
        seedOverride ? *seedOverride + tickCounter_ : std::bit_cast<std::uint64_t>(now.seconds);

    // Everyone decides before anything is reported: telemetry and the pulse recorder may
    // call back in, and the second flea still decides on the state of the step's start.
    std::vector<PendingTick> ticks;
    ticks.reserve(picked.size());
    for (Slot* slot : picked) {
        slot->input.world_snapshot = worldSnapshot_;
        slot->input.stage_state = stageState_;
        const std::uint64_t seed = fleaHash(slot->flea_id) + baseSeed;
        ticks.push_back(PendingTick{slot->flea_id, FleaAgentCore::tick(slot->input, seed, stringHash_), now});
    }

    for (const PendingTick& tick : ticks) {
        const std::string& id = tick.flea_id;
        const AgentIntent& intent = tick.intent;
        const std::string action(rawValue(intent.action));
        if (now.since(lastDecisionTelemetryAt_) >= 1.0) {
            telemetry_.track("flea_agent_decision_made",
                             TelemetryProperties{{"flea_id", id}, {"intent", action}});
            lastDecisionTelemetryAt_ = now;
        }
        if (intent.action != AgentAction::perform_assigned_act)
            telemetry_.track("flea_agent_action_chosen",
                             TelemetryProperties{{"flea_id", id}, {"intent", action}});
        const bool initiative = FleaAgentCore::isInitiativeAction(intent.action);
        if (initiative)
            telemetry_.track("flea_agent_initiative",
                             TelemetryProperties{{"flea_id", id}, {"intent_kind", action}});
        if (recordDecision_) recordDecision_(id, action, initiative, now);

        auto it = slots_.find(id);
        if (it == slots_.end()) continue;
        Slot& slot = it->second;
        auto& recent = slot.input.recent_intents;
        recent.push_back(intent);
        if (recent.size() > AgentInput::maxRecentIntents) recent.erase(recent.begin());
        slot.last_tick_at = now;
        slot.attention_weight *= 0.5;
        if (slot.attention_weight < attentionFloor) slot.attention_weight = 0.0;
        slot.input.mood = slot.input.mood.applyingDelta(intent.mood_delta);
    }
    return ticks;
}

std::vector<FleaAgentScheduler::DiagnosticEntry> FleaAgentScheduler::diagnostics() const {
    std::vector<DiagnosticEntry> entries;
    entries.reserve(slots_.size());
    for (const auto& [id, slot] : slots_) {
        DiagnosticEntry entry{slot.flea_id, slot.last_tick_at, slot.attention_weight, {}, slot.input.mood};
        for (const auto& intent : slot.input.recent_intents)
            entry.recent_intent_actions.emplace_back(rawValue(intent.action));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<double> FleaAgentScheduler::attentionWeight(const std::string& flea_id) const {
    if (auto it = slots_.find(flea_id); it != slots_.end()) return it->second.attention_weight;
    return std::nullopt;
}

std::optional<MoodDimensions> FleaAgentScheduler::mood(const std::string& flea_id) const {
    if (auto it = slots_.find(flea_id); it != slots_.end()) return it->second.input.mood;
    return std::nullopt;
}

}  // namespace tw
