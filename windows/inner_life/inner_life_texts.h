#pragma once
// What the inner life panel shows for one flea: its latest actions, its mood, its
// strongest bonds and its newest lines.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "agent/flea_agent_scheduler.h"
#include "agent/host/agent_activity.h"
#include "platform/date.h"
#include "windows/inner_life/styled_run.h"

namespace tw {

inline constexpr std::size_t innerLifeLinesShown = 8;
inline constexpr std::size_t innerLifeActionsShown = 4;
inline constexpr int innerLifeBondLimit = 3;

// "Recent: wander_to · sit" from the last four actions, oldest first; "Recent: —" for
// a flea the scheduler does not know.
std::string innerLifeVoiceText(const std::optional<FleaAgentScheduler::DiagnosticEntry>& entry);
// "Bonds: Zing ×4 · Dot ×2", or "Bonds: none yet".
std::string innerLifeBondsText(const std::vector<agent_host::Bond>& bonds);

struct InnerLifeContent {
    std::string title{};
    std::string name{};
    std::string voice{};
    MoodDimensions mood{};
    std::vector<StyledRun> lines{};
    friend bool operator==(const InnerLifeContent&, const InnerLifeContent&) = default;
};

// Everything but the bonds, which the decision log answers later.
InnerLifeContent innerLifeContent(const std::optional<FleaAgentScheduler::DiagnosticEntry>& entry,
                                  const std::vector<agent_host::RecentLine>& feed, const std::string& fleaId,
                                  const std::string& displayName, Date now);

}  // namespace tw
