#include "windows/companions/speaker_name.h"

#include "platform/uuid.h"

namespace tw {

std::string speakerName(const std::string& recorded, const std::vector<RosterFlea>& customFleas) {
    const auto id = Uuid::parse(recorded);
    if (!id) return recorded;
    for (const RosterFlea& flea : customFleas)
        if (flea.id == *id) return flea.name;
    return recorded;
}

std::vector<agent_host::RecentLine> withSpeakerNames(std::vector<agent_host::RecentLine> lines,
                                                     const std::vector<RosterFlea>& customFleas) {
    for (agent_host::RecentLine& line : lines) line.fleaName = speakerName(line.fleaName, customFleas);
    return lines;
}

std::vector<agent_host::DialogueDebugEntry> withSpeakerNames(
    std::vector<agent_host::DialogueDebugEntry> entries, const std::vector<RosterFlea>& customFleas) {
    for (agent_host::DialogueDebugEntry& entry : entries) entry.flea = speakerName(entry.flea, customFleas);
    return entries;
}

}  // namespace tw
