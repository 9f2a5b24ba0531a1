#pragma once
// The desktop hotkeys grabbed on the root window of an X connection of our own, so a
// press goes to the app alone and never types into the focused application. The core
// key events the grabs bring are not counted: the raw XInput2 copy of every press,
// which the server sends under grabs too, is. A hotkey another client holds is said
// once by name and stays observed only.
#include <vector>

#include "platform/x11/hotkey_grabs.h"

typedef struct _XDisplay Display;  // as Xlib declares it, without Xlib's macros

namespace tw {

class X11HotkeyGrabs {
   public:
    explicit X11HotkeyGrabs(Display* display);
    // Releases what was taken; the connection must still be open.
    ~X11HotkeyGrabs();
    X11HotkeyGrabs(const X11HotkeyGrabs&) = delete;
    X11HotkeyGrabs& operator=(const X11HotkeyGrabs&) = delete;

    const std::vector<KeyGrab>& taken() const { return taken_; }

   private:
    Display* display_;
    std::vector<KeyGrab> taken_;
};

}  // namespace tw
