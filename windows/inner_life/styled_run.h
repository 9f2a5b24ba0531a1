#pragma once
// A piece of text with its font and colour, so a window's styled text is built and
// tested without Qt.
#include <string>

#include "platform/canvas.h"

namespace tw {

struct StyledRun {
    std::string text{};
    Font font{};
    Color color{};
    friend bool operator==(const StyledRun&, const StyledRun&) = default;
};

}  // namespace tw
