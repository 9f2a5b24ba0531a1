#include "agent/host/shared_store.h"

#include <cstdint>
#include <limits>

#include "platform/log.h"
#include "platform/unicode.h"

namespace tw {

namespace {

AgentPulse emptyPulse(Date at) {
    AgentPulse pulse;
    pulse.updatedAt = at;
    return pulse;
}

bool fromDayOf(const AgentPulse& pulse, Date at, const Calendar& calendar) {
    return calendar.isSameDay(pulse.updatedAt, at);
}

// Stored counts come from a file anyone can edit: a count at the top of the range
// stays there rather than wrapping.
std::int64_t countOne(std::int64_t& count) {
    if (count < std::numeric_limits<std::int64_t>::max()) ++count;
    return count;
}

void resetCounts(AgentPulse& pulse) {
    pulse.decisionCount = 0;
    pulse.initiativeCount = 0;
    pulse.topFleaCount = 0;
    pulse.perFleaDecisions.clear();
    pulse.topFleaName.clear();
}

}  // namespace

std::optional<AgentPulse> SharedStore::decodePulse() const {
    auto text = suite_.dataStringForKey(agentPulseKey);
    if (!text) return std::nullopt;
    try {
        const OrderedJson json = parseJson(*text);
        AgentPulse pulse;
        fromJson(JsonReader(json), pulse);
        return pulse;
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

AgentPulse SharedStore::currentPulse(Date at) {
    if (auto pulse = decodePulse()) return *pulse;
    if (auto stored = suite_.object(agentPulseKey)) {
        log::warning(std::string("Agent pulse: the stored pulse cannot be read; keeping it under \"") +
                     unreadableAgentPulseKey + "\" and starting a new one");
        suite_.set(unreadableAgentPulseKey, *stored);
    }
    return emptyPulse(at);
}

void SharedStore::encodePulse(const AgentPulse& pulse) {
    try {
        suite_.setData(agentPulseKey, dumpJson(toJson(pulse)));
    } catch (const JsonEncodeError& error) {
        log::warning(std::string("Agent pulse: not stored: ") + error.what());
    }
}

std::optional<AgentPulse> SharedStore::loadAgentPulse(Date now, const Calendar& calendar) const {
    auto pulse = decodePulse();
    if (!pulse || pulse->isEmpty() || !fromDayOf(*pulse, now, calendar)) return std::nullopt;
    return pulse;
}

void SharedStore::recordAgentDecision(const std::string& fleaName, const std::string& intent,
                                      bool isInitiative, Date at, const Calendar& calendar) {
    AgentPulse p = currentPulse(at);
    if (!fromDayOf(p, at, calendar)) {
        resetCounts(p);
        p.lastThought.clear();
        p.lastThoughtFleaName.clear();
    }
    p.lastIntent = intent;
    p.lastIntentFleaName = fleaName;
    countOne(p.decisionCount);
    if (isInitiative) countOne(p.initiativeCount);
    const std::int64_t n = countOne(p.perFleaDecisions[fleaName]);
    // Drawing level with the top flea takes the top place.
    if (n >= p.topFleaCount) {
        p.topFleaName = fleaName;
        p.topFleaCount = n;
    }
    p.updatedAt = at;
    encodePulse(p);
}

void SharedStore::recordAgentThought(const std::string& line, const std::string& fleaName, Date at,
                                     const Calendar& calendar) {
    const std::string text = unicode::graphemePrefix(line, AgentPulse::maxThoughtCharacters);
    if (text.empty()) return;
    AgentPulse p = currentPulse(at);
    if (!fromDayOf(p, at, calendar)) {
        resetCounts(p);
        p.lastIntent.clear();
        p.lastIntentFleaName.clear();
    }
    p.lastThought = text;
    p.lastThoughtFleaName = fleaName;
    p.updatedAt = at;
    encodePulse(p);
}

void SharedStore::clearAgentPulse() { suite_.remove(agentPulseKey); }

}  // namespace tw
