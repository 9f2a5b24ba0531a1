#pragma once
// Where the stage sits on the desktop, in screen coordinates with the origin at the
// bottom-left of the main screen and y growing upward. The view converts from the
// toolkit's top-left origin once, here, so the hover and click tests and the window
// frame share one system.
#include <optional>

#include "platform/canvas.h"

namespace tw {

class StageScreen {
   public:
    virtual ~StageScreen() = default;
    virtual Point globalMouseLocation() const = 0;
    // The main screen's frame height; absent without a main screen.
    virtual std::optional<double> mainScreenHeight() const = 0;
    // The window's frame (x, y = its bottom edge); absent when the view has no window.
    virtual std::optional<Rect> windowFrame() const = 0;
};

}  // namespace tw
