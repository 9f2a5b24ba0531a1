#pragma once
// Who said a line, as the live windows name them. Line records, the model's prompt and
// the exports name a custom flea by its id, which outlives a rename; a window that
// draws a speaker looks up the flea's current name each time it draws, and shows the
// id when the flea is gone.
#include <functional>
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "agent/host/custom_flea_roster.h"

namespace tw {

// The custom fleas as they are now, asked at every draw.
using CustomFleaList = std::function<std::vector<RosterFlea>()>;

// The current name of the custom flea `recorded` is the id of; otherwise `recorded` as
// it is (a resident's name, or the id of a flea that is gone).
std::string speakerName(const std::string& recorded, const std::vector<RosterFlea>& customFleas);

// The same records with every speaker named so.
std::vector<agent_host::RecentLine> withSpeakerNames(std::vector<agent_host::RecentLine> lines,
                                                     const std::vector<RosterFlea>& customFleas);
std::vector<agent_host::DialogueDebugEntry> withSpeakerNames(
    std::vector<agent_host::DialogueDebugEntry> entries, const std::vector<RosterFlea>& customFleas);

}  // namespace tw
