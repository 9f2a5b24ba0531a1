#pragma once
// Where a source of the whole desktop's raw input reports it, numbered as an X server
// numbers keys and buttons: key codes are Linux key codes + 8; buttons 1 left,
// 2 middle, 3 right, 4 to 7 the wheel. Times are in milliseconds of the source's clock.
#include <cstdint>

#include "platform/canvas.h"

namespace tw {

class RawInputSink {
   public:
    virtual ~RawInputSink() = default;
    // `keysym` is the key's unshifted keysym, or 0 when the source cannot know it.
    virtual void globalKey(std::uint32_t xKeycode, std::uint32_t keysym, bool pressed, bool repeat,
                           std::uint64_t time) = 0;
    virtual void globalButton(int xButton, Point screenTopLeft, double screenHeight, std::uint64_t time) = 0;
    // Where a device has moved the pointer, for a source that follows the pointer itself.
    virtual void globalPointerAt(Point screenTopLeft) = 0;
};

}  // namespace tw
