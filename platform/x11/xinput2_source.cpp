#include "platform/x11/xinput2_source.h"

#include <QSocketNotifier>

#include "platform/x11/input_hub.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_hotkey_grabs.h"

// Xlib's macros (KeyPress, None, Bool, ...) clash with our names and Qt's: keep it last.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace tw {

struct XInput2Source::Connection {
    Display* display = nullptr;
    int opcode = 0;
    std::unique_ptr<X11HotkeyGrabs> hotkeys;
    ~Connection() {
        hotkeys.reset();  // released while the connection is open
        if (display != nullptr) XCloseDisplay(display);
    }
};

std::variant<std::unique_ptr<XInput2Source>, std::string> XInput2Source::open(InputHub& hub) {
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(nullptr);
    if (connection->display == nullptr) return std::string("no X display");
    Display* display = connection->display;
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &connection->opcode, &event, &error)) {
        return std::string("the X server has no XInput extension");
    }
    // 2.1 or later: raw events keep arriving while another client holds a grab.
    int major = 2;
    int minor = 1;
    if (XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1)) {
        return std::string("the X server's XInput is older than 2.1");
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISetMask(bits, XI_RawButtonPress);
    // Counted only: the stage asks where the pointer is when it has moved.
    XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, sizeof(bits), bits};
    if (XISelectEvents(display, DefaultRootWindow(display), &mask, 1) != Success) {
        return std::string("raw input events could not be selected");
    }
    XSync(display, False);
    // A held key repeats as presses alone, as raw events do.
    XkbSetDetectableAutoRepeat(display, True, nullptr);
    // On this connection, whose core key events are the presses under our grabs (read below).
    connection->hotkeys = std::make_unique<X11HotkeyGrabs>(display);
    return std::unique_ptr<XInput2Source>(new XInput2Source(hub, std::move(connection)));
}

XInput2Source::XInput2Source(InputHub& hub, std::unique_ptr<Connection> connection)
    : hub_(hub), connection_(std::move(connection)) {
    hub_.setPointerMotionTracked();
    notifier_ = new QSocketNotifier(ConnectionNumber(connection_->display), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
    // A round of grabs costs a few round trips on this thread: asked less often the longer a
    // holder keeps its keys.
    grabRetry_.setSingleShot(true);
    connect(&grabRetry_, &QTimer::timeout, this, [this] {
        connection_->hotkeys->update();
        retryGrabsLater();
        readEvents();
    });
    retryGrabsLater();
    readEvents();
}

XInput2Source::~XInput2Source() = default;

// While a hotkey grab of ours is active (from its key's press to its release) the server
// withholds the keyboard's raw events from this connection and sends them as core key
// events instead: the press that started the grab came raw already, the rest count from here.
void XInput2Source::keyUnderGrab(unsigned int keycode, unsigned long time, bool pressed) {
    if (pressed && lastRawPress_ == RawPress{keycode, time}) {
        hub_.globalKeyTakenByGrab(keycode, time);  // its raw copy came: no local one will
        return;
    }
    const KeySym keysym = XkbKeycodeToKeysym(connection_->display, static_cast<KeyCode>(keycode), 0, 0);
    hub_.globalKey(keycode, static_cast<std::uint32_t>(keysym), pressed, false, time);
}

void XInput2Source::retryGrabsLater() {
    if (const auto delay = retries_.afterRound(connection_->hotkeys->sharing()))
        grabRetry_.start(*delay);
    else
        grabRetry_.stop();
}

void XInput2Source::readEvents() {
    // Reading the keyboard map waits for replies, during which Xlib queues events the
    // socket will not announce again: read on until a pass brings no new mapping.
    while (drainEvents()) {
        connection_->hotkeys->remapped();
        grabRetry_.start(retries_.remapped(GrabRetries::Clock::now()));
    }
}

bool XInput2Source::drainEvents() {
    Display* display = connection_->display;
    bool remapped = false;
    // XPending also drains what Xlib queued during the pointer queries below.
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress || event.type == KeyRelease) {
            keyUnderGrab(event.xkey.keycode, event.xkey.time, event.type == KeyPress);
            continue;
        }
        if (connection_->hotkeys->mappingChanged(event)) {
            remapped = true;
            continue;
        }
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != connection_->opcode) continue;
        if (!XGetEventData(display, cookie)) continue;
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        switch (cookie->evtype) {
            case XI_RawKeyPress:
            case XI_RawKeyRelease: {
                const auto keycode = static_cast<KeyCode>(raw->detail);
                const KeySym keysym = XkbKeycodeToKeysym(display, keycode, 0, 0);
                if (cookie->evtype == XI_RawKeyPress) lastRawPress_ = {keycode, raw->time};
                hub_.globalKey(keycode, static_cast<std::uint32_t>(keysym), cookie->evtype == XI_RawKeyPress,
                               (raw->flags & XIKeyRepeat) != 0, raw->time);
                break;
            }
            case XI_RawButtonPress:
                // Raw events carry no position: ask for it, for the clicks only.
                if (raw->detail == 1 || raw->detail == 3) {
                    const X11Pointer pointer = x11Pointer(display);
                    const double height = DisplayHeight(display, DefaultScreen(display));
                    hub_.globalButton(raw->detail, {double(pointer.rootX), double(pointer.rootY)}, height,
                                      raw->time);
                }
                break;
            case XI_RawMotion:
                hub_.globalPointerMoved();
                break;
            default:
                break;
        }
        XFreeEventData(display, cookie);
    }
    return remapped;
}

}  // namespace tw
