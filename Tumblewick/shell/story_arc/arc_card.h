#pragma once
// What the story-arc card says and where it sits. The card shows while an arc runs:
// status exactly "active", with a headline and a body line.
#include <cstdint>
#include <optional>
#include <string>

#include "Tumblewick/shell/story_arc/arc_kvs_reader.h"
#include "platform/canvas.h"

namespace tw {

inline constexpr Size arcCardSize{320, 88};
inline constexpr double arcCardInset = 24;  // from the top-right corner of the usable area

struct ArcCard {
    std::int64_t dayIndex = 0;
    std::string headline;
    std::string body;
    friend bool operator==(const ArcCard&, const ArcCard&) = default;
};

// The card the store asks for, or none when no arc is running.
std::optional<ArcCard> arcCardToShow(const ArcKVSReader& reader);

// "DAY 3 OF 7" for day 2; the 7 is fixed whatever the day. The largest stored day
// still shows its true successor.
std::string arcDayBadge(std::int64_t dayIndex);

// The card's frame (top-left origin) in the screen's usable area (top-left origin,
// without panels and docks); at the origin without a screen.
Rect arcCardFrame(std::optional<Rect> usableArea);

}  // namespace tw
