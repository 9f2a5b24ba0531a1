#include "windows/companions/drag_down_log_texts.h"

#include <algorithm>
#include <cstdint>

#include "platform/hotkeys.h"

namespace tw {

std::string dragDownAgeText(double elapsedSeconds) {
    if (!(elapsedSeconds >= 60.0)) return "now";  // NaN too
    // A clock set far back must not overflow the cast.
    const double minutes = std::min(elapsedSeconds / 60.0, 1e15);
    return std::to_string(static_cast<std::int64_t>(minutes)) + "m";
}

std::string dragDownHintText() {
    return hotkeyLabel(Hotkey::dragDownLog) + " close \u00B7 click anywhere to dismiss";
}

std::vector<DragDownChip> dragDownChips(const std::vector<agent_host::RecentLine>& oldestFirst, Date now) {
    std::vector<DragDownChip> chips;
    const std::size_t shown = std::min(oldestFirst.size(), dragDownChipsShown);
    for (auto entry = oldestFirst.rbegin();
         entry != oldestFirst.rbegin() + static_cast<std::ptrdiff_t>(shown); ++entry)
        chips.push_back({entry->fleaName, entry->line, dragDownAgeText(now.since(entry->at))});
    return chips;
}

}  // namespace tw
