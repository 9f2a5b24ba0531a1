#pragma once
// What the drag-down log shows: the newest lines as chips, newest first, each with its
// flea, its words and how long ago it was spoken.
#include <string>
#include <vector>

#include "agent/host/agent_activity.h"
#include "platform/date.h"

namespace tw {

inline constexpr std::size_t dragDownChipsShown = 6;

struct DragDownChip {
    std::string fleaName{};
    std::string line{};
    std::string age{};
    friend bool operator==(const DragDownChip&, const DragDownChip&) = default;
};

// "now" under a minute (the future too), then whole minutes only: "1m", "120m".
std::string dragDownAgeText(double elapsedSeconds);
// The line beside the header: the log's own hotkey, as the hotkey table binds it.
std::string dragDownHintText();
// The newest six lines, newest first.
std::vector<DragDownChip> dragDownChips(const std::vector<agent_host::RecentLine>& oldestFirst, Date now);

}  // namespace tw
