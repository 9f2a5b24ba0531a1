#include "Tumblewick/shell/story_arc/arc_card.h"

#include <limits>

namespace tw {

std::optional<ArcCard> arcCardToShow(const ArcKVSReader& reader) {
    const std::optional<std::string> headline = reader.headline();
    if (!headline || reader.status() != "active") return std::nullopt;
    std::optional<std::string> body = reader.bodyLine();
    if (!body) return std::nullopt;
    return ArcCard{reader.dayIndex(), *headline, std::move(*body)};
}

std::string arcDayBadge(std::int64_t dayIndex) {
    // day + 1 in unsigned arithmetic where the signed sum would overflow.
    const std::string day = dayIndex == std::numeric_limits<std::int64_t>::max()
                                ? std::to_string(static_cast<std::uint64_t>(dayIndex) + 1)
                                : std::to_string(dayIndex + 1);
    return "DAY " + day + " OF 7";
}

Rect arcCardFrame(std::optional<Rect> usableArea) {
    if (!usableArea) return Rect{0, 0, arcCardSize.width, arcCardSize.height};
    return Rect{usableArea->x + usableArea->width - arcCardSize.width - arcCardInset,
                usableArea->y + arcCardInset, arcCardSize.width, arcCardSize.height};
}

}  // namespace tw
