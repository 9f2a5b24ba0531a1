#include "Tumblewick/shell/x11_window_hints.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <span>

#include "platform/x11/restack_above.h"
#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {
namespace {

constexpr const char* kOutOfTaskbar[] = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
constexpr const char* kStripStates[] = {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY", kOutOfTaskbar[0],
                                        kOutOfTaskbar[1]};

void addStates(QWidget& window, std::span<const char* const> names, bool mapped) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const Window id = static_cast<Window>(window.winId());
    if (!mapped) {
        x11AddStatesBeforeMapping(display, id, names);
        return;
    }
    for (const char* name : names)
        x11AskWindowManager(display, id, "_NET_WM_STATE",
                            {1 /* add */, static_cast<long>(XInternAtom(display, name, False)), 0, 1, 0});
}

void putOnAllDesktops(QWidget& window, bool mapped) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const Window id = static_cast<Window>(window.winId());
    const long allDesktops = 0xFFFFFFFF;
    if (mapped) {
        x11AskWindowManager(display, id, "_NET_WM_DESKTOP", {allDesktops, 1, 0, 0, 0});
    } else {
        XChangeProperty(display, id, XInternAtom(display, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&allDesktops), 1);
        XFlush(display);
    }
}

// Sees each window of ours as it is shown: the show event comes before the toolkit
// maps the window, while its states can still be set on it directly.
class OutOfTaskbar final : public QObject {
   public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A spontaneous one brings back a window the window manager already lists.
        if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        // Menus and tooltips are never managed, so never listed.
        if (!widget->isWindow() || type == Qt::Popup || type == Qt::ToolTip ||
            widget->windowFlags().testFlag(Qt::X11BypassWindowManagerHint)) {
            return false;
        }
        addStates(*widget, kOutOfTaskbar, false);
        return false;
    }
};

}  // namespace

void applyStripWindowHints(QWidget& window) {
    // Read by the window manager when the window is mapped; asked of it afterwards.
    const bool mapped = window.isVisible();
    addStates(window, kStripStates, mapped);
    putOnAllDesktops(window, mapped);
}

void orderFrontWithStripHints(QWidget& window) {
    if (!window.isVisible()) applyStripWindowHints(window);
    window.show();
    restackAboveOurWindows(window);
    applyStripWindowHints(window);
}

bool windowsInTaskbar(const EnvironmentReader& env) { return envBool("TUMBLEWICK_DOCK_ICON", env) != false; }

void applyTaskbarChoice(QApplication& app) {
    if (windowsInTaskbar()) return;
    app.installEventFilter(new OutOfTaskbar(&app));
}

}  // namespace tw
