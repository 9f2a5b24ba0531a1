#pragma once
// Records kept in the app-group defaults suite, where companion programs of the same
// group can read them: for now the day's agent pulse.
#include <optional>
#include <string>

#include "agent/host/agent_pulse.h"
#include "platform/calendar.h"
#include "platform/date.h"
#include "platform/defaults.h"

namespace tw {

class SharedStore {
   public:
    // The app-group suite; the app opens it as JsonFileDefaults::suiteFile(appGroupSuiteName)
    // and falls back to the standard suite when that cannot be opened.
    static constexpr const char* appGroupSuiteName = "group.tumblewick";
    static constexpr const char* agentPulseKey = "tw_agent_pulse";

    explicit SharedStore(Defaults& suite) : suite_(suite) {}

    // Today's pulse, or nothing when none is stored, it is empty, or it is from another day.
    std::optional<AgentPulse> loadAgentPulse(Date now, const Calendar& calendar) const;
    // Counts one decision (the intent is an action's raw value) into the pulse of `at`'s day.
    void recordAgentDecision(const std::string& fleaName, const std::string& intent, bool isInitiative,
                             Date at, const Calendar& calendar);
    // Sets the last thought (its first 180 characters); an empty line changes nothing.
    void recordAgentThought(const std::string& line, const std::string& fleaName, Date at,
                            const Calendar& calendar);
    void clearAgentPulse();

   private:
    // The stored pulse to build on when it is from `at`'s day; otherwise an empty one.
    AgentPulse currentPulse(Date at, const Calendar& calendar);
    void encodePulse(const AgentPulse& pulse);
    // The pulse in a stored value: nothing when it is absent, not data, or does not decode.
    std::optional<AgentPulse> decodePulse(const std::optional<DefaultsValue>& stored) const;

    Defaults& suite_;
    // The bytes last written or read and their pulse: every decision would otherwise
    // parse back what the one before it just wrote.
    mutable std::optional<std::pair<DefaultsData, AgentPulse>> lastDecoded_;
};

}  // namespace tw
