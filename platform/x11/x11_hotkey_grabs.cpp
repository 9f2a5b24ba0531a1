#include "platform/x11/x11_hotkey_grabs.h"

#include <algorithm>

#include "platform/log.h"

// Xlib's macros (KeyPress, None, Bool, ...) clash with our names: keep it last.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/keysym.h>

namespace tw {
namespace {

// Xlib reports errors to one process-wide handler without a context: the requests that
// failed are collected here between the grabs and the sync that reports them, on one thread.
thread_local std::vector<unsigned long>* refusedSerials = nullptr;

int collectRefusal(Display*, XErrorEvent* error) {
    if (refusedSerials != nullptr && error->request_code == X_GrabKey && error->error_code == BadAccess)
        refusedSerials->push_back(error->serial);
    return 0;
}

GrabMasks grabMasks(Display* display) {
    GrabMasks masks{.shift = ShiftMask, .super = 0};
    XModifierKeymap* map = XGetModifierMapping(display);
    if (map == nullptr) return masks;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            const KeyCode keycode = map->modifiermap[modifier * map->max_keypermod + i];
            if (keycode == 0) continue;
            const KeySym keysym = XkbKeycodeToKeysym(display, keycode, 0, 0);
            if (keysym == XK_Super_L || keysym == XK_Super_R) masks.super |= 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return masks;
}

}  // namespace

X11HotkeyGrabs::X11HotkeyGrabs(Display* display) : display_(display) {
    const std::vector<KeyGrab> wanted = hotkeyGrabs(grabMasks(display));
    const Window root = DefaultRootWindow(display);
    std::vector<unsigned long> serials;
    std::vector<unsigned long> refused;
    XSync(display, False);
    refusedSerials = &refused;
    const XErrorHandler previous = XSetErrorHandler(collectRefusal);
    for (const KeyGrab& grab : wanted) {
        serials.push_back(NextRequest(display));
        XGrabKey(display, static_cast<int>(grab.xKeycode), grab.modifiers, root, False, GrabModeAsync,
                 GrabModeAsync);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    refusedSerials = nullptr;
    std::vector<Hotkey> told;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (std::find(refused.begin(), refused.end(), serials[i]) == refused.end()) {
            taken_.push_back(wanted[i]);
        } else if (std::find(told.begin(), told.end(), wanted[i].hotkey) == told.end()) {
            told.push_back(wanted[i].hotkey);
            log::warning(hotkeyHeldElsewhereLine(wanted[i].hotkey));
        }
    }
}

X11HotkeyGrabs::~X11HotkeyGrabs() {
    const Window root = DefaultRootWindow(display_);
    for (const KeyGrab& grab : taken_)
        XUngrabKey(display_, static_cast<int>(grab.xKeycode), grab.modifiers, root);
    XFlush(display_);
}

}  // namespace tw
