#include "platform/x11/x11_hotkey_grabs.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/log.h"

// Xlib's macros (KeyPress, None, Bool, ...) clash with our names: keep it last.
#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

namespace tw {
namespace {

// The keys whose modifier bits the grabs and their log lines go by.
constexpr std::pair<KeySym, unsigned GrabMasks::*> kModifierKeys[] = {
    {XK_Super_L, &GrabMasks::super},       {XK_Super_R, &GrabMasks::super},
    {XK_Num_Lock, &GrabMasks::numLock},    {XK_Caps_Lock, &GrabMasks::capsLock},
    {XK_Shift_Lock, &GrabMasks::capsLock}, {XK_Scroll_Lock, &GrabMasks::scrollLock},
    {XK_Alt_L, &GrabMasks::alt},           {XK_Alt_R, &GrabMasks::alt},
};

GrabMasks grabMasks(Display* display) {
    GrabMasks masks{.shift = ShiftMask, .super = 0};
    XModifierKeymap* map = XGetModifierMapping(display);
    if (map == nullptr) return masks;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            const KeyCode keycode = map->modifiermap[modifier * map->max_keypermod + i];
            if (keycode == 0) continue;
            const KeySym keysym = XkbKeycodeToKeysym(display, keycode, 0, 0);
            for (const auto& [key, mask] : kModifierKeys)
                if (key == keysym) masks.*mask |= 1u << modifier;
        }
    }
    XFreeModifiermap(map);
    return masks;
}

template <typename T>
bool contains(const std::vector<T>& list, const T& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

auto sameHotkey(Hotkey hotkey) {
    return [hotkey](const KeyGrab& grab) { return grab.hotkey == hotkey; };
}

void ungrab(xcb_connection_t* connection, Display* display, const KeyGrab& grab) {
    xcb_ungrab_key(connection, static_cast<xcb_keycode_t>(grab.xKeycode), DefaultRootWindow(display),
                   static_cast<std::uint16_t>(grab.modifiers));
}

std::string grabFailedLine(const KeyGrab& grab, int errorCode) {
    return hotkeyLabel(grab.hotkey) + " could not be grabbed (X error " + std::to_string(errorCode) +
           " for key code " + std::to_string(grab.xKeycode) + ", modifiers " +
           std::to_string(grab.modifiers) +
           "): Tumblewick still answers it, and it reaches the window you are in as well.";
}

}  // namespace

X11HotkeyGrabs::X11HotkeyGrabs(Display* display) : display_(display) {
    // A client using XKB gets no core MappingNotify for a new keyboard: ask for XKB's own.
    int opcode = 0;
    int error = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &xkbEventBase_, &error, &major, &minor)) {
        constexpr unsigned long kMapChanges = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, kMapChanges, kMapChanges);
    } else {
        xkbEventBase_ = -1;
    }
    update();
}

X11HotkeyGrabs::~X11HotkeyGrabs() {
    xcb_connection_t* connection = XGetXCBConnection(display_);
    for (const KeyGrab& grab : taken_) ungrab(connection, display_, grab);
    xcb_flush(connection);
}

bool X11HotkeyGrabs::mappingChanged(XEvent& event) {
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        return event.xmapping.request != MappingPointer;
    }
    if (event.type != xkbEventBase_) return false;
    auto& xkb = reinterpret_cast<XkbEvent&>(event);
    if (xkb.any.xkb_type == XkbMapNotify) XkbRefreshKeyboardMapping(&xkb.map);
    return xkb.any.xkb_type == XkbMapNotify || xkb.any.xkb_type == XkbNewKeyboardNotify;
}

void X11HotkeyGrabs::update() {
    const GrabMasks masks = grabMasks(display_);
    const std::string lockLine = superSharedWithLockLine(masks);
    if (!lockLine.empty() && lockLine != lockLine_) log::warning(lockLine);
    lockLine_ = lockLine;
    const std::vector<KeyGrab> wanted = hotkeyGrabs(masks);
    // Checked requests: their errors come back here, not to Xlib's process-wide handler.
    xcb_connection_t* connection = XGetXCBConnection(display_);
    std::erase_if(taken_, [&](const KeyGrab& grab) {
        if (contains(wanted, grab)) return false;
        ungrab(connection, display_, grab);
        return true;
    });
    std::vector<KeyGrab> asked;
    std::vector<xcb_void_cookie_t> cookies;
    for (const KeyGrab& grab : wanted) {
        if (contains(taken_, grab) || contains(failed_, grab)) continue;
        asked.push_back(grab);
        cookies.push_back(xcb_grab_key_checked(
            connection, 0, DefaultRootWindow(display_), static_cast<std::uint16_t>(grab.modifiers),
            static_cast<xcb_keycode_t>(grab.xKeycode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<KeyGrab> refused;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        xcb_generic_error_t* error = xcb_request_check(connection, cookies[i]);
        if (error == nullptr) {
            taken_.push_back(asked[i]);
        } else if (error->error_code == XCB_ACCESS) {
            refused.push_back(asked[i]);
        } else {
            // A fault of the request, not a holder: asking again would fail again.
            if (std::none_of(failed_.begin(), failed_.end(), sameHotkey(asked[i].hotkey)))
                log::warning(grabFailedLine(asked[i], error->error_code));
            failed_.push_back(asked[i]);
        }
        std::free(error);
    }
    // Only the states refused are another program's: the hotkey stays ours in the rest.
    std::vector<Hotkey> shared;
    for (const KeyGrab& grab : refused) {
        if (contains(shared, grab.hotkey)) continue;
        shared.push_back(grab.hotkey);
        if (contains(shared_, grab.hotkey)) continue;
        std::vector<unsigned> states;
        for (const KeyGrab& other : refused)
            if (other.hotkey == grab.hotkey) states.push_back(other.modifiers);
        log::warning(hotkeyHeldElsewhereLine(masks, grab.hotkey, states));
    }
    for (const Hotkey hotkey : shared_) {
        if (!contains(shared, hotkey) && std::any_of(taken_.begin(), taken_.end(), sameHotkey(hotkey)))
            log::info(hotkeyTakenAfterAllLine(hotkey));
    }
    shared_ = std::move(shared);
}

}  // namespace tw
