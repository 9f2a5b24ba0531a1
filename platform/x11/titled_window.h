#pragma once
// The title bar of our titled windows: a close button on every one, a maximise button
// where the window can be resized, and a minimise button only where the window may be
// minimised. The window keeps its own type (a panel of the app is a utility window, any
// other an ordinary one), so it stays in the taskbar and stacks as its kind does; the
// buttons reach the window manager as Motif hints, which some managers follow (weston's
// XWayland) and others do not (openbox draws a minimise button on every ordinary or
// utility window).
#include <Qt>

class QWidget;

namespace tw {

struct TitledWindow {
    bool utility = false;  // a floating panel of the app rather than an ordinary window
    bool miniaturizable = false;
    bool resizable = false;
};

Qt::WindowFlags titledWindowFlags(TitledWindow kind);

// Gives `window` those flags, keeping its others (staying on top, taking no focus).
// Call it before the window is first shown.
void makeTitledWindow(QWidget& window, TitledWindow kind);

// Whether `window` is on screen: shown and not minimised by the window manager.
bool isShowing(const QWidget& window);

// Shows `window` and raises it, bringing it back when the window manager minimised it
// (show() alone leaves a minimised window so). Takes the keyboard only if asked to. An
// ordinary window first shown while a floating panel shows joins the panels' layer.
void showRaised(QWidget& window);

// Brings back a window the window manager minimised, where it was and without taking
// the keyboard: asked of the window manager as a pager asks it (a window mapping itself
// again is activated by some, openbox among them).
void restoreWithoutFocus(QWidget& window);

// Keeps an ordinary window the user just opened in front of the app's floating panels
// that show now, and of windows put in front of them: it goes in their layer (the one
// above ordinary windows) for as long as a floating panel shows, and leaves it as soon
// as none does, where a window of another application the user activates goes above
// it. It is owned by none of them: a window manager minimises a window together with
// its owner. Call it after each show, before activating the window.
void stackAboveShownPanels(QWidget& window, bool raise = true);

// Whether a shown `window` was asked into the layer above ordinary windows and the
// window manager has yet to put it there: until then it may still go above others.
bool joiningPanelsLayer(const QWidget& window);

// Shows `window` full screen, over the strip and the floating panels on every window
// manager: some (xfwm4) keep a full-screen window in the layer of ordinary ones, under
// those that stay on top, unless it is in their layer too. Raised, and brought back
// when minimised, as showRaised() does.
void showFullScreenOnTop(QWidget& window);

}  // namespace tw
