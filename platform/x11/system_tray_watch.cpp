#include "platform/x11/system_tray_watch.h"

#include <QSocketNotifier>

#include "platform/x11/tray_selection_follow.h"

// Xlib's macros (KeyPress, None, Bool, ...) clash with our names and Qt's: keep it last.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace tw {

struct SystemTrayWatch::Connection final : TraySelectionConnection {
    Display* display = nullptr;
    int fixesEvent = 0;
    Atom selection = 0;
    ~Connection() override {
        if (display != nullptr) XCloseDisplay(display);
    }
    bool owned() override { return XGetSelectionOwner(display, selection) != 0; }
    bool takeEvents(bool readSocket) override {
        bool selectionEvent = false;
        while (XEventsQueued(display, readSocket ? QueuedAfterFlush : QueuedAlready) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == fixesEvent + XFixesSelectionNotify) selectionEvent = true;
        }
        return selectionEvent;
    }
};

std::variant<std::unique_ptr<SystemTrayWatch>, std::string> SystemTrayWatch::open(Changed changed) {
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(nullptr);
    if (connection->display == nullptr) return std::string("no X display");
    Display* display = connection->display;
    int error = 0;
    if (!XFixesQueryExtension(display, &connection->fixesEvent, &error)) {
        return std::string("the X server has no XFixes extension");
    }
    int major = 0;
    int minor = 0;
    XFixesQueryVersion(display, &major, &minor);
    if (major < 1) return std::string("the X server's XFixes is older than 1.0");
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(display));
    connection->selection = XInternAtom(display, name.c_str(), False);
    // A new owner, and the end of one, whether its window goes or its client does.
    XFixesSelectSelectionInput(display, DefaultRootWindow(display), connection->selection,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    XSync(display, False);
    return std::unique_ptr<SystemTrayWatch>(new SystemTrayWatch(std::move(connection), std::move(changed)));
}

SystemTrayWatch::SystemTrayWatch(std::unique_ptr<Connection> connection, Changed changed)
    : connection_(std::move(connection)), changed_(std::move(changed)) {
    // Asked after the events were selected: a tray that starts in between is not missed.
    present_ = connection_->owned();
    notifier_ = new QSocketNotifier(ConnectionNumber(connection_->display), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
    readEvents();
}

SystemTrayWatch::~SystemTrayWatch() = default;

void SystemTrayWatch::readEvents() {
    const bool present = followTraySelection(*connection_, present_);
    if (present == present_) return;
    present_ = present;
    if (changed_) changed_(present);
}

}  // namespace tw
