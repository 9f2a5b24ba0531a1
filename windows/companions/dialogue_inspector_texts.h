#pragma once
// What the dialogue inspector shows: a summary of the newest dialogue generations and
// one entry each (who asked, which producer answered, how fast, the line, and why the
// pipeline fell back), as styled runs of plain text tested without a window.
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "platform/date.h"

namespace tw {

inline constexpr std::size_t inspectorEntriesShown = 30;

enum class InspectorStyle { placeholder, modelHeader, templateHeader, line, fallback, gap };

struct InspectorRun {
    InspectorStyle style{};
    std::string text{};
    friend bool operator==(const InspectorRun&, const InspectorRun&) = default;
};

struct DialogueInspectorContent {
    std::string stats{};
    std::vector<InspectorRun> runs{};
    // One per entry, in the order shown, each entry's runs ending with its gap: what
    // tells the entry from the others while its age grows.
    std::vector<std::string> entryKeys{};
    friend bool operator==(const DialogueInspectorContent&, const DialogueInspectorContent&) = default;
};

// Whole seconds up to 59 ("59s", the future negative), then whole minutes ("59m"),
// then whole hours ("1h").
std::string inspectorAgeText(double elapsedSeconds);
// The newest thirty entries, newest first, and the counts over just those.
DialogueInspectorContent dialogueInspectorContent(
    const std::vector<agent_host::DialogueDebugEntry>& oldestFirst, Date now);

}  // namespace tw
