#include "Tumblewick/shell/menu_bar/menu_bar_status.h"

#include <algorithm>

#include "agent/host/line_feed.h"

namespace tw {

std::string menuBarActivityTitle(std::int64_t decisions) {
    return decisions == 0 ? std::string() : std::string(" ").append(std::to_string(decisions));
}

std::string menuBarBadgeText(std::int64_t decisions) {
    if (decisions <= 0) return {};
    return decisions > 99 ? "99+" : std::to_string(decisions);
}

std::string menuBarToolTip(std::int64_t decisions) {
    std::string tip = "Tumblewick — open the tiny circus";
    if (decisions > 0) {
        tip.append("\n").append(std::to_string(decisions));
        // The count is taken over the capped feed: at the cap, more may have been spoken.
        if (decisions >= static_cast<std::int64_t>(agent_host::LineFeed::maxRecentLines))
            tip.append(" or more");
        tip.append(decisions == 1 ? " line" : " lines").append(" spoken in the last minute");
    }
    return tip;
}

Point menuBarPopoverOrigin(Rect anchor, Point fallback, Rect screen, Size popover) {
    if (anchor.width <= 0 || anchor.height <= 0) anchor = Rect{fallback.x, fallback.y, 0, 0};
    const bool below = anchor.y + anchor.height / 2 < screen.y + screen.height / 2;
    double x = anchor.x + anchor.width / 2 - popover.width / 2;
    double y = below ? anchor.y + anchor.height : anchor.y - popover.height;
    // A screen narrower than the popover keeps its left or top edge in view.
    x = std::max(std::min(x, screen.x + screen.width - popover.width), screen.x);
    y = std::max(std::min(y, screen.y + screen.height - popover.height), screen.y);
    return Point{x, y};
}

}  // namespace tw
