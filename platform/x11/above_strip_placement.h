#pragma once
// Where a titled window opens. The strip stays above our windows, so whatever part of
// a window lies behind it (often the row of buttons at its foot) cannot be seen or
// clicked: windows go in the space between the top of the screen's work area and the
// strip's top edge. Rectangles are a window's inside, without the frame around it.
#include <QMargins>
#include <QRect>
#include <QSize>
#include <functional>
#include <optional>

class QScreen;
class QWidget;

namespace tw {

// The part of `available` above `stripTop`. A strip below the work area (under a
// panel, or on no screen at all) takes none of it.
QRect spaceAboveStrip(const QRect& available, int stripTop);

// A window of `size` in a frame of `frame`, its frame centred in `area`; where it is
// wider or taller than the area, at the area's left or top edge.
QRect centredIn(const QRect& area, QSize size, const QMargins& frame);

// `wanted` where its frame clears the strip; otherwise moved up just enough, and
// shorter when that would take its frame above the work area. Left and width stay as
// wanted, but for a frame wider than the work area: that fills the area's width.
QRect placeAboveStrip(const QRect& available, int stripTop, const QRect& wanted, const QMargins& frame);

// The strip's top edge now, in global coordinates; none while there is no strip.
using StripTop = std::function<std::optional<int>()>;
// Where a window opens when no strip is in the way, on `screen`, in a frame of `frame`.
using WantedPlace = std::function<QRect(const QScreen& screen, const QMargins& frame)>;

// What the window manager put around a shown window (nothing where it put no frame).
QMargins frameAround(const QWidget& window);

// Sizes and moves `window` on the primary screen to its wanted place, clear of the
// strip; false when there is no screen. A window not framed yet is placed with room
// for a usual frame, and placed again with its own once the window manager frames it,
// or with none when nothing frames it. A window's minimum size is kept: one whose
// content may not fit above the strip shows it through `setScrollingContent`.
bool placeClearOfStrip(QWidget& window, const StripTop& stripTop, WantedPlace wanted);

// Whether a show of `window` places it as a first show does: it was never placed, or it
// was while no window manager ran and one runs now, which frames it.
bool needsPlacing(const QWidget& window);

// Makes `content` the whole of `window`, inside a scroll area: the content keeps its
// minimum size, and the window may be placed shorter than that where the screen has
// no more room above the strip, its content scrolling rather than squeezed together.
// The window is never narrower than its content, as laid out now and later, but where
// the screen is: there the content scrolls sideways.
void setScrollingContent(QWidget& window, QWidget* content);

}  // namespace tw
