#include "agent/host/agent_host_tables.h"

#include <bit>
#include <cmath>

#include "platform/unicode.h"

namespace tw::agent_host {

namespace {

constexpr std::string_view kDefaultStyle = "warm and steady";

}  // namespace

std::string_view narrativeActOf(std::string_view fleaID) {
    const Resident* resident = findResident(fleaID);
    return resident ? resident->act : std::string_view("tightrope");
}

// A custom flea speaks like the resident of its act.
std::string voiceStyleForAct(std::string_view act) {
    const Resident* resident = residentPerforming(act);
    return std::string(resident ? resident->voiceStyle : kDefaultStyle);
}

std::string voiceStyle(std::string_view fleaName) {
    const Resident* resident = findResident(fleaName);
    return std::string(resident ? resident->voiceStyle : kDefaultStyle);
}

std::string normalisedAct(std::string_view discoveredAct) {
    std::string act = unicode::lowercased(discoveredAct);
    if (act == "strongflea" || act == "powerlifter") return "strongman";
    return act;
}

VoiceCard plainVoiceCard(const std::string& fleaID) {
    return VoiceCard{.flea_id = fleaID, .name = fleaID, .voice_style = voiceStyle(fleaID)};
}

VoiceCard customFleaVoiceCard(const RosterFlea& flea) {
    VoiceCard card{.flea_id = flea.id.uuidString(), .name = flea.name};
    const std::string& hat = flea.hatKind;
    if (hat == "topHat")
        card.traits = {"theatrical"};
    else if (hat == "crown")
        card.traits = {"proud"};
    else if (hat == "bowler")
        card.traits = {"earnest"};
    else if (hat == "propeller")
        card.traits = {"playful"};
    else if (hat == "bandana")
        card.traits = {"daring"};
    card.voice_style = voiceStyleForAct(normalisedAct(flea.discoveredAct));
    if (flea.level >= 5) card.ambition = "to be remembered after the show";
    return card;
}

AgentTimeOfDay timeOfDay(int hour) {
    if (hour >= 5 && hour <= 8) return AgentTimeOfDay::dawn;
    if (hour >= 9 && hour <= 11) return AgentTimeOfDay::morning;
    if (hour >= 12 && hour <= 13) return AgentTimeOfDay::midday;
    if (hour >= 14 && hour <= 17) return AgentTimeOfDay::afternoon;
    if (hour >= 18 && hour <= 20) return AgentTimeOfDay::evening;
    return AgentTimeOfDay::night;
}

std::size_t periodIndex(Date now, double periodSeconds, std::size_t count) {
    if (count == 0 || !std::isfinite(now.seconds) || !(periodSeconds > 0)) return 0;
    // Stays in doubles until the remainder is small: no cast of a huge or negative count.
    const double periods = std::trunc(now.seconds / periodSeconds);
    double index = std::fmod(periods, static_cast<double>(count));
    if (index < 0) index += static_cast<double>(count);
    return static_cast<std::size_t>(index) % count;
}

std::uint64_t seedBits(Date now) { return std::bit_cast<std::uint64_t>(now.seconds); }

std::optional<std::int64_t> customFleaXP(AgentAction action) {
    switch (action) {
        case AgentAction::perform_signature:
            return 5;
        case AgentAction::initiate_duet:
        case AgentAction::attempt_bit:
            return 3;
        case AgentAction::pre_action_ritual:
            return 1;
        default:
            return std::nullopt;
    }
}

std::optional<std::string_view> outcomeKind(AgentAction action) {
    switch (action) {
        case AgentAction::perform_signature:
            return "clean_success";
        case AgentAction::refuse:
            return "refusal";
        case AgentAction::applaud:
            return "comic_bit";
        case AgentAction::initiate_duet:
            return "bonding_moment";
        case AgentAction::attempt_bit:
            return "brave_attempt";
        case AgentAction::pre_action_ritual:
            return "pre_action_ritual";
        default:
            return std::nullopt;
    }
}

std::optional<NarrativeEventShape> narrativeEventShape(AgentAction action) {
    using T = TumblewickEventType;
    switch (action) {
        case AgentAction::perform_assigned_act:
            return NarrativeEventShape{T::performanceSuccess, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5}};
        case AgentAction::perform_signature:
            return NarrativeEventShape{T::performanceSuccess, {0.9, 0.85, 0.85, 0.7, 0.7, 0.6}};
        case AgentAction::refuse:
            return NarrativeEventShape{T::performanceMiss, {0.4, 0.3, 0.4, 0.6, 0.4, 0.55}};
        case AgentAction::join_flea:
        case AgentAction::initiate_duet:
            return NarrativeEventShape{T::duetMoment, {0.7, 0.6, 0.85, 0.85, 0.5, 0.5}};
        case AgentAction::applaud:
            return NarrativeEventShape{T::socialSupport, {0.5, 0.4, 0.7, 0.7, 0.4, 0.5}};
        case AgentAction::micro_story_role:
            return NarrativeEventShape{T::socialSupport, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5}};
        case AgentAction::attempt_bit:
            return NarrativeEventShape{T::nearSuccess, {0.55, 0.85, 0.6, 0.5, 0.7, 0.5}};
        case AgentAction::pre_action_ritual:
            return NarrativeEventShape{T::performanceSuccess, {0.7, 0.45, 0.5, 0.55, 0.55, 0.5}};
        case AgentAction::wander_to:
        case AgentAction::watch_flea:
        case AgentAction::sit:
        case AgentAction::sleep:
            break;
    }
    return std::nullopt;
}

FleaEventContext hostEventContext(bool fleaIsAttended) {
    return FleaEventContext{.tentWarmth = 0.6,
                            .backstageBuzz = 0.5,
                            .houseTrust = 0.5,
                            .wonder = 0.4,
                            .playerAttention = fleaIsAttended ? 0.7 : 0.2,
                            .relationshipRelevance = 0.4,
                            .troupeReaction = 0.4};
}

std::optional<HostMemoryStyle> hostMemoryStyle(AgentAction action) {
    switch (action) {
        case AgentAction::perform_assigned_act:
            return HostMemoryStyle{"resilient", "performance"};
        case AgentAction::perform_signature:
            return HostMemoryStyle{"signature", "signature_move"};
        case AgentAction::refuse:
            return HostMemoryStyle{"tender", "refused"};
        case AgentAction::applaud:
            return HostMemoryStyle{"playful", "applauded"};
        case AgentAction::micro_story_role:
            return HostMemoryStyle{"cozy", "micro_story"};
        case AgentAction::initiate_duet:
            return HostMemoryStyle{"warm", "duet"};
        case AgentAction::attempt_bit:
            return HostMemoryStyle{"brave", "bit_attempted"};
        case AgentAction::pre_action_ritual:
            return HostMemoryStyle{"mysterious", "ritual"};
        default:
            return std::nullopt;
    }
}

std::string hostMemorySummary(const std::string& fleaID, AgentAction action) {
    std::string words(rawValue(action));
    for (char& c : words)
        if (c == '_') c = ' ';
    return fleaID + " " + words;
}

AgentMemory agentMemory(const FleaMemory& memory) {
    const auto tier = fromRawValue<AgentMemoryTier>(rawValue(memory.tier));
    return AgentMemory{.id = memory.id.uuidString(),
                       .tier = tier.value_or(AgentMemoryTier::immediate),
                       .tone = memory.tone,
                       .tags = memory.tags,
                       .involves_player = memory.playerInvolved,
                       .summary = memory.summaryFact};
}

MemoriesByTier memoriesByTier(const std::vector<AgentMemory>& memories) {
    const std::size_t n = memories.size();
    const std::size_t immediateStart = n > 3 ? n - 3 : 0;
    const std::size_t recentStart = n > 8 ? n - 8 : 0;
    const auto at = [&](std::size_t i) { return memories.begin() + static_cast<std::ptrdiff_t>(i); };
    MemoriesByTier tiers;
    tiers.season.assign(memories.begin(), at(recentStart));
    tiers.recent.assign(at(recentStart), at(immediateStart));
    tiers.immediate.assign(at(immediateStart), memories.end());
    return tiers;
}

}  // namespace tw::agent_host
