#pragma once
// Desktop hints for the strip on an EWMH window manager: above other windows, on every
// workspace, and out of the taskbar and pager. Does nothing off X11.
class QWidget;

namespace tw {

void applyStripWindowHints(QWidget& window);
// Shows and raises the window with those hints, without activating it.
void orderFrontWithStripHints(QWidget& window);

}  // namespace tw
