#pragma once
// What the signature toast needs of its window; the Qt window realises it, tests record it.
#include <string>

namespace tw {

class SignatureToastWindow {
   public:
    virtual ~SignatureToastWindow() = default;
    // Builds the window at the top centre of the main screen the first time it is
    // asked; false while there is no screen to put it on.
    virtual bool ensureBuilt() = 0;
    virtual void setTexts(const std::string& name, const std::string& line) = 0;
    virtual void setAlpha(double alpha) = 0;
    // In front of other windows without taking focus or activating the app.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
};

}  // namespace tw
