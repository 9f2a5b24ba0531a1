#pragma once
// The agent host's fixed tables: voice styles and cards, the time of day, which actions
// speak, earn XP, leave a memory or make a narrative event, and how a flea's memories
// are split into tiers. Pure functions; no state.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/agent_records.h"
#include "agent/host/custom_flea_roster.h"
#include "agent/resident_roster.h"
#include "narrative/interpretation_records.h"
#include "narrative/narrative_event_record.h"
#include "platform/date.h"

namespace tw::agent_host {

inline constexpr double featuredPeriodSeconds = 6.0;
inline constexpr double spotlightFallbackPeriodSeconds = 8.0;

// The resident's act for a narrative event; any other flea performs "tightrope" there.
std::string_view narrativeActOf(std::string_view fleaID);

// By exact flea name; "warm and steady" for any other.
std::string voiceStyle(std::string_view fleaName);
// By act key; "warm and steady" for any other.
std::string voiceStyleForAct(std::string_view act);
// Lower-cased, with the strongman's other names folded into "strongman".
std::string normalisedAct(std::string_view discoveredAct);

// The card a flea gets from its id alone: a resident's registered card, and the one a
// dialogue request carries for any flea.
VoiceCard plainVoiceCard(const std::string& fleaID);
// A custom flea's card, built once when it is first registered.
VoiceCard customFleaVoiceCard(const RosterFlea& flea);

// Hour 0..23 of the local day.
AgentTimeOfDay timeOfDay(int hour);

// Which period of `periodSeconds` since 2001 `now` lies in, modulo `count`; never
// negative, and 0 for a moment that is not a finite number.
std::size_t periodIndex(Date now, double periodSeconds, std::size_t count);
// The bits of the moment's seconds since 2001, as a dialogue seed.
std::uint64_t seedBits(Date now);

// XP a custom flea earns for its own decision, if any.
std::optional<std::int64_t> customFleaXP(AgentAction action);
// The outcome kind of the line a decision asks for; none for actions that do not speak.
std::optional<std::string_view> outcomeKind(AgentAction action);

struct NarrativeEventShape {
    TumblewickEventType type;
    FleaEventResultMetrics metrics;
    friend bool operator==(const NarrativeEventShape&, const NarrativeEventShape&) = default;
};
// The narrative event an action makes, if any.
std::optional<NarrativeEventShape> narrativeEventShape(AgentAction action);
// The fixed circumstances of every event the host makes.
FleaEventContext hostEventContext(bool fleaIsAttended);

struct HostMemoryStyle {
    std::string_view tone;
    std::string_view tag;
    friend bool operator==(const HostMemoryStyle&, const HostMemoryStyle&) = default;
};
// The tone and tag of the host's own memory of an action, if it keeps one.
std::optional<HostMemoryStyle> hostMemoryStyle(AgentAction action);
// "<flea id> <action with spaces>".
std::string hostMemorySummary(const std::string& fleaID, AgentAction action);
// The agent's copy of a memory the narrative engine formed.
AgentMemory agentMemory(const FleaMemory& memory);

// By position, oldest first: the last 3 immediate, the 5 before recent, older season.
MemoriesByTier memoriesByTier(const std::vector<AgentMemory>& memories);

}  // namespace tw::agent_host
