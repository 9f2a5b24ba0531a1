#include "platform/x11/x11_hotkey_grabs.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/log.h"

// Xlib's macros (KeyPress, None, Bool, ...) clash with our names: keep it last.
#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

namespace tw {
namespace {

// What each key does to the modifiers, by its action in the first group and level, as
// its name may say otherwise once xmodmap has moved it.
std::vector<ModifierKey> modifierKeys(Display* display) {
    std::vector<ModifierKey> keys;
    XkbDescPtr xkb = XkbGetMap(display, XkbAllClientInfoMask | XkbAllServerInfoMask, XkbUseCoreKbd);
    if (xkb == nullptr) {  // no XKB: the modifier map alone, and no lock known
        XModifierKeymap* map = XGetModifierMapping(display);
        for (int i = 0; map != nullptr && i < 8 * map->max_keypermod; ++i) {
            if (map->modifiermap[i] == 0) continue;
            const KeySym keysym = XkbKeycodeToKeysym(display, map->modifiermap[i], 0, 0);
            keys.push_back({static_cast<std::uint32_t>(keysym), 1u << (i / map->max_keypermod)});
        }
        if (map != nullptr) XFreeModifiermap(map);
        return keys;
    }
    for (int keycode = xkb->min_key_code; keycode <= xkb->max_key_code; ++keycode) {
        ModifierKey key{.filed = xkb->map->modmap[keycode]};
        if (XkbKeyNumSyms(xkb, keycode) > 0)
            key.keysym = static_cast<std::uint32_t>(XkbKeySym(xkb, keycode, 0));
        if (XkbKeyHasActions(xkb, keycode)) {
            const XkbModAction& action = XkbKeyActionEntry(xkb, keycode, 0, 0)->mods;
            const bool sets = action.type == XkbSA_SetMods || action.type == XkbSA_LatchMods;
            key.action = sets                            ? ModifierKey::Action::sets
                         : action.type == XkbSA_LockMods ? ModifierKey::Action::locks
                                                         : ModifierKey::Action::other;
            key.actionMods = action.mask | ((action.flags & XkbSA_UseModMapMods) != 0 ? key.filed : 0);
        }
        key.locksItself = (xkb->server->behaviors[keycode].type & XkbKB_OpMask) == XkbKB_Lock;
        keys.push_back(key);
    }
    XkbFreeKeyboard(xkb, 0, True);
    return keys;
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

GrabMasks X11HotkeyGrabs::masks() {
    const GrabMasks masks = grabMasks(modifierKeys(display_));
    const std::string lockLine = superSharedWithLockLine(masks);
    if (!lockLine.empty() && lockLine != lockLine_) log::warning(lockLine);
    lockLine_ = lockLine;
    return masks;
}

void X11HotkeyGrabs::ungrabAllBut(const std::vector<KeyGrab>& wanted, bool heldToo) {
    xcb_connection_t* connection = XGetXCBConnection(display_);
    std::erase_if(taken_, [&](const KeyGrab& grab) {
        if (contains(wanted, grab) && !(heldToo && heldElsewhere_.held(grab.hotkey))) return false;
        ungrab(connection, display_, grab);
        return true;
    });
}

void X11HotkeyGrabs::remapped() {
    ungrabAllBut(hotkeyGrabs(masks()), true);
    xcb_flush(XGetXCBConnection(display_));
}

void X11HotkeyGrabs::update() {
    const GrabMasks masks = this->masks();
    const std::vector<KeyGrab> wanted = hotkeyGrabs(masks);
    ungrabAllBut(wanted, false);
    // Checked requests: their errors come back here, not to Xlib's process-wide handler.
    xcb_connection_t* connection = XGetXCBConnection(display_);
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
    std::vector<KeyGrab> got;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        xcb_generic_error_t* error = xcb_request_check(connection, cookies[i]);
        if (error == nullptr) {
            got.push_back(asked[i]);
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
    taken_.insert(taken_.end(), got.begin(), got.end());
    // Only the states refused are another program's: the hotkey stays ours in the rest.
    heldElsewhere_.round(masks, refused, got);
    sharing_ = !refused.empty();
}

}  // namespace tw
