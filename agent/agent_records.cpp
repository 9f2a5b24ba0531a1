#include "agent/agent_records.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"
#include "platform/date.h"

namespace tw {

namespace {

// max(0, min(v, 1)) for energy, positions and importance; unlike a mood, a NaN here
// has always meant "full", so it becomes 1.
double clampUnitNanToOne(double v) {
    if (std::isnan(v)) return 1.0;
    return std::max(0.0, std::min(v, 1.0));
}

double remainingShare(double seconds, double halfLife) { return std::exp2(seconds / -halfLife); }

double decayToward(double value, double remaining) {
    return (value - MoodDimensions::neutral) * remaining + MoodDimensions::neutral;
}

}  // namespace

double MoodDimensions::clamp(double v) {
    // Lower bound first, so NaN becomes 0.
    double lower = v > 0.0 ? v : 0.0;
    return lower < 1.0 ? lower : 1.0;
}

MoodDimensions MoodDimensions::make(double confidence, double nerves, double joy, double pride) {
    return MoodDimensions{clamp(confidence), clamp(nerves), clamp(joy), clamp(pride)};
}

MoodDimensions MoodDimensions::decayed(double seconds) const { return Decay(seconds)(*this); }

MoodDimensions::Decay::Decay(double seconds) : relaxes_(seconds > 0.0) {
    if (!relaxes_) return;
    confidence_ = remainingShare(seconds, DecayHalfLife::confidence);
    nerves_ = remainingShare(seconds, DecayHalfLife::nerves);
    joy_ = remainingShare(seconds, DecayHalfLife::joy);
    pride_ = remainingShare(seconds, DecayHalfLife::pride);
}

MoodDimensions MoodDimensions::Decay::operator()(const MoodDimensions& mood) const {
    if (!relaxes_) return mood;
    return MoodDimensions{
        clamp(decayToward(mood.confidence, confidence_)),
        clamp(decayToward(mood.nerves, nerves_)),
        clamp(decayToward(mood.joy, joy_)),
        clamp(decayToward(mood.pride, pride_)),
    };
}

MoodDimensions MoodDimensions::applyingDelta(const MoodDimensions& delta) const {
    return MoodDimensions{
        clamp((delta.confidence - neutral) + confidence),
        clamp((delta.nerves - neutral) + nerves),
        clamp((delta.joy - neutral) + joy),
        clamp((delta.pride - neutral) + pride),
    };
}

std::string currentNowIso() { return iso8601String(SystemClock().now()).value_or(""); }

WorldSnapshot WorldSnapshot::make(std::optional<std::string> now_iso, AgentTimeOfDay time_of_day,
                                  double energy, std::optional<std::int64_t> arc_day_index,
                                  AgentWeather weather) {
    WorldSnapshot snapshot;
    if (now_iso) snapshot.now_iso = std::move(*now_iso);
    snapshot.time_of_day = time_of_day;
    snapshot.energy = clampUnitNanToOne(energy);
    snapshot.arc_day_index = arc_day_index;
    snapshot.weather = weather;
    return snapshot;
}

std::vector<AgentMemory> MemoriesByTier::allFlattened() const {
    std::vector<AgentMemory> all;
    all.reserve(immediate.size() + recent.size() + season.size() + long_term.size() + legend.size());
    for (const auto* tier : {&immediate, &recent, &season, &long_term, &legend})
        all.insert(all.end(), tier->begin(), tier->end());
    return all;
}

AgentPosition AgentPosition::make(double x_norm, double y_norm) {
    return AgentPosition{clampUnitNanToOne(x_norm), clampUnitNanToOne(y_norm)};
}

DialogueHook DialogueHook::make(std::string outcome_kind, double importance, AgentDialogueChannel channel) {
    return DialogueHook{std::move(outcome_kind), clampUnitNanToOne(importance), channel};
}

AgentIntent AgentIntent::make(AgentAction action, std::optional<std::string> target_flea_id,
                              std::optional<AgentPosition> target_position, std::int64_t duration_ticks,
                              MoodDimensions mood_delta, std::optional<DialogueHook> dialogue_hook) {
    return AgentIntent{action,          std::move(target_flea_id),
                       target_position, std::max<std::int64_t>(1, duration_ticks),
                       mood_delta,      std::move(dialogue_hook)};
}

AgentInput AgentInput::make(VoiceCard voice_card, MoodDimensions mood, MemoriesByTier memories_by_tier,
                            WorldSnapshot world_snapshot, StageState stage_state,
                            std::vector<AgentIntent> recent_intents) {
    if (recent_intents.size() > maxRecentIntents)
        recent_intents.erase(recent_intents.begin(),
                             recent_intents.end() - static_cast<std::ptrdiff_t>(maxRecentIntents));
    return AgentInput{std::move(voice_card),       mood,
                      std::move(memories_by_tier), std::move(world_snapshot),
                      std::move(stage_state),      std::move(recent_intents)};
}

}  // namespace tw

std::size_t std::hash<tw::VoiceCard>::operator()(const tw::VoiceCard& v) const noexcept {
    return tw::hashFields(v.flea_id, v.name, v.traits, v.voice_style, v.ambition, v.superstitions, v.pronouns,
                          v.signature_phrase_hint);
}

std::size_t std::hash<tw::MoodDimensions>::operator()(const tw::MoodDimensions& v) const noexcept {
    return tw::hashFields(v.confidence, v.nerves, v.joy, v.pride);
}

std::size_t std::hash<tw::AgentMemory>::operator()(const tw::AgentMemory& v) const noexcept {
    return tw::hashFields(v.id, v.tier, v.tone, v.tags, v.involves_player, v.summary);
}

std::size_t std::hash<tw::AgentPosition>::operator()(const tw::AgentPosition& v) const noexcept {
    return tw::hashFields(v.x_norm, v.y_norm);
}

std::size_t std::hash<tw::DialogueHook>::operator()(const tw::DialogueHook& v) const noexcept {
    return tw::hashFields(v.outcome_kind, v.importance, v.channel);
}

std::size_t std::hash<tw::AgentIntent>::operator()(const tw::AgentIntent& v) const noexcept {
    return tw::hashFields(v.action, v.target_flea_id, v.target_position, v.duration_ticks, v.mood_delta,
                          v.dialogue_hook);
}
