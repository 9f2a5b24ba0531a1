#pragma once
// The day's summary of agent activity: decision counts, the busiest flea, the last
// decision and the last thought line.
#include <cstdint>
#include <map>
#include <string>

#include "platform/date.h"
#include "platform/json.h"

namespace tw {

struct AgentPulse {
    static constexpr std::size_t maxThoughtCharacters = 180;  // grapheme clusters

    std::string topFleaName{};
    std::int64_t topFleaCount = 0;
    std::string lastIntent{};
    std::string lastIntentFleaName{};
    std::string lastThought{};
    std::string lastThoughtFleaName{};
    std::int64_t decisionCount = 0;
    std::int64_t initiativeCount = 0;
    Date updatedAt{};
    std::map<std::string, std::int64_t> perFleaDecisions{};

    bool isEmpty() const { return decisionCount == 0 && lastThought.empty(); }

    // A short phrase for a raw action ("attempt_bit" -> "trying a bit"); unknown raw
    // strings come back with spaces for underscores.
    static std::string friendlyIntent(const std::string& raw);

    friend bool operator==(const AgentPulse&, const AgentPulse&) = default;
};

// Every key is written and required; updatedAt is seconds since 2001-01-01.
OrderedJson toJson(const AgentPulse& pulse);
void fromJson(const JsonReader& reader, AgentPulse& out);

}  // namespace tw
