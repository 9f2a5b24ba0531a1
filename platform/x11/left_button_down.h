#pragma once
// Whether the left mouse button is down now, asked of the display server: a menu or another
// window may take the press or its release, so no widget's events can tell.

namespace tw {

bool leftButtonDown();

}  // namespace tw
