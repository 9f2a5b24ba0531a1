#pragma once
// Raising a window of ours above our other windows by restacking it right above the
// highest of them: a raise to the top that the window asks for itself
// is, to some window managers (icewm), a request for attention, which flashes it and
// lists it in the taskbar even when it asks to be left out.
#include <optional>
#include <span>

class QWidget;

namespace tw {

// The window `window` goes right above, given the window manager's stacking order
// (bottom first) and our other windows that may cover it: the highest of ours stacked
// above it, or none when it is above them all already (or not stacked at all).
std::optional<unsigned long> restackSibling(std::span<const unsigned long> stackingBottomFirst,
                                            unsigned long window, std::span<const unsigned long> ours);

// Puts a shown `window` above every other window of the app the window manager stacks,
// but those that are full screen; with no window manager, raises it. False while one
// of ours that shows is not stacked yet (the window manager has yet to map it, or to
// put it in the layer it asked for): asked again later, the window goes above that one too.
bool restackAboveOurWindows(QWidget& window);

}  // namespace tw
