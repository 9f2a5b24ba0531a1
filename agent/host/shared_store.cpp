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

}  // namespace

std::optional<AgentPulse> SharedStore::decodePulse(const std::optional<DefaultsValue>& stored) const {
    const auto* data = stored ? std::get_if<DefaultsData>(&*stored) : nullptr;
    if (!data) return std::nullopt;
    if (lastDecoded_ && lastDecoded_->first == *data) return lastDecoded_->second;
    try {
        const OrderedJson json = parseJson(
            std::string_view(reinterpret_cast<const char*>(data->bytes.data()), data->bytes.size()));
        AgentPulse pulse;
        fromJson(JsonReader(json), pulse);
        lastDecoded_.emplace(*data, pulse);
        return pulse;
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

AgentPulse SharedStore::currentPulse(Date at, const Calendar& calendar) {
    // A pulse of another day starts over: its counts and the other writer's line are
    // cleared, and the writer then sets its own line and the time, so nothing of that
    // day is left. An unreadable one is only a stale status, rewritten on every
    // decision: it starts over too, without a word.
    auto pulse = decodePulse(suite_.object(agentPulseKey));
    if (pulse && fromDayOf(*pulse, at, calendar)) return std::move(*pulse);
    return AgentPulse{};
}

void SharedStore::encodePulse(const AgentPulse& pulse) {
    try {
        const std::string text = dumpJson(toJson(pulse));
        suite_.setData(agentPulseKey, text);
        lastDecoded_.emplace(DefaultsData{std::vector<std::uint8_t>(text.begin(), text.end())}, pulse);
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
    // Repaired as the stored text would be, so the pulse kept in memory equals the stored one.
    const std::string name = unicode::repairUtf8(fleaName);
    p.lastIntent = unicode::repairUtf8(intent);
    p.lastIntentFleaName = name;
    countOne(p.decisionCount);
    if (isInitiative) countOne(p.initiativeCount);
    const std::int64_t n = countOne(p.perFleaDecisions[name]);
    // Drawing level with the top flea takes the top place.
    if (n >= p.topFleaCount) {
        p.topFleaName = name;
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
    p.lastThoughtFleaName = unicode::repairUtf8(fleaName);
    p.updatedAt = at;
    encodePulse(p);
}

void SharedStore::clearAgentPulse() { suite_.remove(agentPulseKey); }

}  // namespace tw
