#include "agent/host/shared_store.h"

#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/log.h"
#include "platform/unicode.h"

namespace tw {

namespace {

bool fromDayOf(const AgentPulse& pulse, Date at, const Calendar& calendar) {
    return calendar.isSameDay(pulse.updatedAt, at);
}

// Stored counts come from a file anyone can edit: a count at the top of the range
// stays there rather than wrapping.
std::int64_t countOne(std::int64_t& count) {
    if (count < std::numeric_limits<std::int64_t>::max()) ++count;
    return count;
}

// The pulse in a stored value: nothing when the value is absent, not data, or does not decode.
std::optional<AgentPulse> decodePulse(const std::optional<DefaultsValue>& stored) {
    const auto* data = stored ? std::get_if<DefaultsData>(&*stored) : nullptr;
    if (!data) return std::nullopt;
    try {
        const OrderedJson json = parseJson(
            std::string_view(reinterpret_cast<const char*>(data->bytes.data()), data->bytes.size()));
        AgentPulse pulse;
        fromJson(JsonReader(json), pulse);
        return pulse;
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

}  // namespace

AgentPulse SharedStore::currentPulse(Date at, const Calendar& calendar) {
    const auto stored = suite_.object(agentPulseKey);
    if (auto pulse = decodePulse(stored)) {
        // A pulse of another day starts over: its counts and the other writer's line
        // are cleared, and the writer then sets its own line and the time, so nothing
        // of that day is left.
        if (fromDayOf(*pulse, at, calendar)) return std::move(*pulse);
        return AgentPulse{};
    }
    if (stored) {
        log::warning(std::string("Agent pulse: the stored pulse cannot be read; keeping it under \"") +
                     unreadableAgentPulseKey + "\" and starting a new one");
        suite_.set(unreadableAgentPulseKey, *stored);
    }
    return AgentPulse{};
}

void SharedStore::encodePulse(const AgentPulse& pulse) {
    try {
        suite_.setData(agentPulseKey, dumpJson(toJson(pulse)));
    } catch (const JsonEncodeError& error) {
        log::warning(std::string("Agent pulse: not stored: ") + error.what());
    }
}

std::optional<AgentPulse> SharedStore::loadAgentPulse(Date now, const Calendar& calendar) const {
    auto pulse = decodePulse(suite_.object(agentPulseKey));
    if (!pulse || pulse->isEmpty() || !fromDayOf(*pulse, now, calendar)) return std::nullopt;
    return pulse;
}

void SharedStore::recordAgentDecision(const std::string& fleaName, const std::string& intent,
                                      bool isInitiative, Date at, const Calendar& calendar) {
    AgentPulse p = currentPulse(at, calendar);
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
    std::string text = unicode::graphemePrefix(line, AgentPulse::maxThoughtCharacters);
    if (text.empty()) return;
    AgentPulse p = currentPulse(at, calendar);
    p.lastThought = std::move(text);
    p.lastThoughtFleaName = fleaName;
    p.updatedAt = at;
    encodePulse(p);
}

void SharedStore::clearAgentPulse() { suite_.remove(agentPulseKey); }

}  // namespace tw
