#pragma once
// The desktop hotkeys grabbed on the root window of an X connection of our own, so a
// press goes to the app alone and never types into the focused application. While one
// of these grabs is active the server sends that connection the keyboard's events as
// core key events only, never raw: the reader counts those. A hotkey another client
// holds in some states is said once with those states and tried again until it is ours;
// a changed modifier mapping is grabbed anew, once the window manager has had its turn.
#include <string>
#include <vector>

#include "platform/x11/hotkey_grabs.h"

// As Xlib declares them, without Xlib's macros.
typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

namespace tw {

class X11HotkeyGrabs {
   public:
    // Grabs at once, and asks for word of the keyboard's mapping changing.
    explicit X11HotkeyGrabs(Display* display);
    // Releases what was taken; the connection must still be open.
    ~X11HotkeyGrabs();
    X11HotkeyGrabs(const X11HotkeyGrabs&) = delete;
    X11HotkeyGrabs& operator=(const X11HotkeyGrabs&) = delete;

    // Grabs for the keyboard map as it is now: lets go of what it no longer asks for and
    // asks again for what another client held. Blocks for a few round trips.
    void update();
    // The modifier mapping changed: lets go at once of what it no longer asks for, and of
    // every state of a hotkey another client held, so that client (a window manager) can
    // grab its binding anew before the next update() asks for the new states.
    void remapped();
    // Another client holds one of our hotkeys: worth another update() later.
    bool sharing() const { return sharing_; }
    // Whether an event read on the connection says the keyboard's mapping changed, and so
    // asks for remapped() once the events at hand are read. Xlib's tables follow it here.
    bool mappingChanged(XEvent& event);
    const std::vector<KeyGrab>& taken() const { return taken_; }

   private:
    // Read from the server; says once what a lock on Super's modifier costs.
    GrabMasks masks();
    // Lets go of every grab `wanted` lacks and, with `heldToo`, of every state of a hotkey
    // another client held.
    void ungrabAllBut(const std::vector<KeyGrab>& wanted, bool heldToo);

    Display* display_;
    int xkbEventBase_ = -1;  // -1 without the XKB extension
    std::vector<KeyGrab> taken_;
    std::vector<KeyGrab> failed_;  // refused for a fault of the request: never asked again
    HeldElsewhere heldElsewhere_;
    bool sharing_ = false;
    std::string lockLine_;  // what was said of a lock on Super's modifier, so it is said once
};

}  // namespace tw
