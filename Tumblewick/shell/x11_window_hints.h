#pragma once
// Desktop hints on an EWMH window manager: the strip above other windows, on every
// workspace, and out of the taskbar and pager; our other windows in the taskbar or
// out of it, as TUMBLEWICK_DOCK_ICON says. Does nothing off X11.
#include "Tumblewick/shell/configuration/configuration.h"

class QApplication;
class QWidget;

namespace tw {

void applyStripWindowHints(QWidget& window);
// Shows and raises the window with those hints, without activating it.
void orderFrontWithStripHints(QWidget& window);

// Our windows besides the strip (colony, settings, companions) show in the taskbar
// and pager unless TUMBLEWICK_DOCK_ICON is a false word; then none of ours does.
bool windowsInTaskbar(const EnvironmentReader& env = processEnvironment());
// Decides once for the application: when windowsInTaskbar() is false, every window
// of ours the window manager manages is kept out of the taskbar and pager as it is shown.
void applyTaskbarChoice(QApplication& app);

}  // namespace tw
