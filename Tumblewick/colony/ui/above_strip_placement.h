#pragma once
// Where a colony window opens. The strip stays above our windows, so whatever part of
// a window lies behind it (often the row of buttons at its foot) cannot be seen or
// clicked: windows go in the space between the top of the screen's work area and the
// strip's top edge.
#include <QMargins>
#include <QRect>
#include <QSize>

namespace tw {

// The window's geometry without its frame, for a frame of `frame` around it: centred
// across `available`, and centred down the space above `stripTop` at the preferred
// height when that fits; shorter to fit, but never below the minimum height, in which
// case it sits at the top of `available`. The width stays the preferred one.
QRect placeAboveStrip(const QRect& available, int stripTop, QSize preferred, QSize minimum,
                      const QMargins& frame);

}  // namespace tw
