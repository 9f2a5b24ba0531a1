#pragma once
// The title bar of our titled windows: a close button on every one, a maximise button
// where the window can be resized, and a minimise button only where the window may be
// minimised. Qt's button hints reach the window manager as Motif hints, which some
// managers read for the buttons they draw (weston's XWayland) and others never do
// (openbox draws a minimise button on every ordinary, dialog or utility window): what
// openbox goes by is the window's type, and a toolbar has no minimise button.
#include <Qt>
#include <vector>

class QWidget;

namespace tw {

struct TitledWindow {
    bool utility = false;  // a floating panel of the app rather than an ordinary window
    bool miniaturizable = false;
    bool resizable = false;
};

Qt::WindowFlags titledWindowFlags(TitledWindow kind);
// Its _NET_WM_WINDOW_TYPE, the window manager's first choice first.
std::vector<const char*> titledWindowTypes(TitledWindow kind);

// Gives `window` those flags, keeping its others (staying on top, taking no focus), and
// on X11 that type. Call it before the window is first shown.
void makeTitledWindow(QWidget& window, TitledWindow kind);

}  // namespace tw
