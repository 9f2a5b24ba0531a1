#pragma once
// What the tray item shows of the agents' last minute, and where its popover opens.
#include <cstdint>
#include <string>

#include "platform/canvas.h"

namespace tw {

inline constexpr double menuBarActivityWindowSeconds = 60.0;
inline constexpr double menuBarActivityRefreshSeconds = 5.0;
inline constexpr Size menuBarPopoverSize{380, 150};

// " 7" after the icon; empty with no decisions.
std::string menuBarActivityTitle(std::int64_t decisions);
// The count painted on the icon: empty with none, "99+" past what fits.
std::string menuBarBadgeText(std::int64_t decisions);
// A tray icon has no title, so the tooltip carries the count too.
std::string menuBarToolTip(std::int64_t decisions);

// The popover's top-left corner: centred under the tray icon, or above it when the
// icon sits in the lower half of the screen, kept inside `screen` (both top-left
// origin). An empty anchor (the tray would not say where the icon is) opens it at
// `fallback`, the pointer.
Point menuBarPopoverOrigin(Rect anchor, Point fallback, Rect screen, Size popover = menuBarPopoverSize);

}  // namespace tw
