#include "platform/x11/titled_window.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tw {
namespace {

constexpr Qt::WindowFlags titleBarHints = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                          Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint;

// Whether the window manager holds `window` minimised (ICCCM's iconic state), asked of
// the X server: the toolkit hears of it later, maybe after a hotkey pressed meanwhile.
bool iconicOnServer(const QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr || !window.testAttribute(Qt::WA_WState_Created)) return false;
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    return x11PropertyValue(display, window.winId(), wmState, wmState) ==
           static_cast<unsigned long>(IconicState);
}

// Set on an ordinary window of ours while it is in the floating panels' layer.
constexpr const char* liftedProperty = "tw-in-panels-layer";

// A floating panel maps in the layer above ordinary windows, which every window manager
// here lets it leave when asked but icewm, where a full-screen window covers it anyway.
bool floatingPanel(const QWidget& window) {
    const Qt::WindowFlags flags = window.windowFlags();
    return flags.testFlag(Qt::WindowTitleHint) && flags.testFlag(Qt::WindowStaysOnTopHint) &&
           window.windowType() == Qt::Tool;
}
bool lifted(const QWidget& window) { return window.property(liftedProperty).toBool(); }

// Whether a window of the app in the layer above ordinary windows shows, other than
// `except`: a floating panel, or, where `liftedToo`, a window put in front of one.
bool panelsLayerShows(const QWidget* except, bool liftedToo) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [&](const QWidget* other) {
        return other != except && (floatingPanel(*other) || (liftedToo && lifted(*other))) &&
               isShowing(*other);
    });
}

// Asks the window manager to move a mapped `window` into the layer above ordinary
// windows, or out of it.
void askAboveLayer(Display* display, const QWidget& window, bool above) {
    x11AskWindowManager(display, window.winId(), "_NET_WM_STATE",
                        {above ? 1 : 0,  // _NET_WM_STATE_ADD, _NET_WM_STATE_REMOVE
                         static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False)), 0,
                         1 /* asked by an application */, 0});
}

// Moves `window` into the layer above ordinary windows, or out of it. Only a mapped
// window is asked: one mapped with the state already some window managers (icewm) keep
// there for good, whatever is asked later. showRaised() asks once it maps.
void setAboveLayer(QWidget& window, bool above) {
    window.setProperty(liftedProperty, above);
    Display* display = x11Display();
    if (display != nullptr && window.isVisible()) askAboveLayer(display, window, above);
}

// While a full-screen window shows, our windows in the layer above ordinary ones leave
// it: some window managers (xfwm4) stack that layer over full-screen windows, and keep
// full-screen windows out of it. They go back in when it hides or is minimised, and
// aside again when it comes back, whoever brings it back. Lives as long as the window.
class AsideWhileFullScreen final : public QObject {
   public:
    explicit AsideWhileFullScreen(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
        stepAside();
    }

   protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Hide) {
            comeBack();
        } else if (type == QEvent::Show || type == QEvent::WindowStateChange) {
            if (window_.isVisible() && !window_.isMinimized() && window_.isFullScreen())
                stepAside();
            else
                comeBack();
        }
        return false;
    }

   private:
    void stepAside() {
        Display* display = x11Display();
        if (display == nullptr || !aside_.empty()) return;
        const Atom wmState = XInternAtom(display, "_NET_WM_STATE", False);
        const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
        for (QWidget* other : QApplication::topLevelWidgets()) {
            if (other == &window_ || !other->isVisible() || !other->testAttribute(Qt::WA_WState_Created))
                continue;
            const auto states = x11PropertyValues(display, other->winId(), wmState, XA_ATOM);
            if (std::find(states.begin(), states.end(), above) == states.end()) continue;
            askAboveLayer(display, *other, false);
            aside_.emplace_back(other);
        }
    }
    void comeBack() {
        for (const QPointer<QWidget>& other : aside_) {
            if (other && other->isVisible()) askAboveLayer(x11Display(), *other, true);
        }
        aside_.clear();
    }

    QWidget& window_;
    std::vector<QPointer<QWidget>> aside_;
};
constexpr const char* asideProperty = "tw-others-aside";

// Takes a lifted window out of the panels' layer once no floating panel shows, so that
// a window of another application the user activates then goes above it.
class LeavePanelsLayer final : public QObject {
   public:
    explicit LeavePanelsLayer(QWidget& window) : QObject(&window), window_(window) {
        qApp->installEventFilter(this);
    }

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Every event of the app passes here: the type decides first.
        const QEvent::Type type = event->type();
        if ((type != QEvent::Hide && type != QEvent::WindowStateChange) || pending_ ||
            !watched->isWidgetType() || !floatingPanel(*static_cast<QWidget*>(watched)))
            return false;
        pending_ = true;
        // Once the window manager has the panel's new state.
        QTimer::singleShot(0, this, [this] {
            pending_ = false;
            if (!lifted(window_)) {
                deleteLater();
            } else if (!panelsLayerShows(&window_, false)) {
                setAboveLayer(window_, false);
                deleteLater();
            }
        });
        return false;
    }

   private:
    QWidget& window_;
    bool pending_ = false;
};

void lift(QWidget& window) {
    if (!lifted(window)) new LeavePanelsLayer(window);
    setAboveLayer(window, true);
}

// The toolkit puts every window of the app in one group, and to some window managers
// (xfwm4) a tool window of a group is a transient of every window in it: kept above
// them all, the ones the user opens after it too. A panel leaves the group before it
// maps, and stacks by its layer and by when it was raised, as any window.
void leaveWindowGroup(QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr) return;
    const auto id = static_cast<Window>(window.winId());
    XWMHints* hints = XGetWMHints(display, id);
    if (hints == nullptr) return;
    if ((hints->flags & WindowGroupHint) != 0) {
        hints->flags &= ~WindowGroupHint;
        XSetWMHints(display, id, hints);
        XFlush(display);
    }
    XFree(hints);
}

}  // namespace

Qt::WindowFlags titledWindowFlags(TitledWindow kind) {
    // Customised: only the buttons named here, where Qt would otherwise add them all.
    Qt::WindowFlags flags = (kind.utility ? Qt::Tool : Qt::Window) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (kind.resizable) flags |= Qt::WindowMaximizeButtonHint;
    if (kind.miniaturizable) flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

void makeTitledWindow(QWidget& window, TitledWindow kind) {
    window.setWindowFlags((window.windowFlags() & ~(Qt::WindowType_Mask | titleBarHints)) |
                          titledWindowFlags(kind));
}

bool isShowing(const QWidget& window) {
    return window.isVisible() && !window.isMinimized() && !iconicOnServer(window);
}

void showRaised(QWidget& window) {
    const bool iconic = iconicOnServer(window);
    // An ordinary window opening while the floating panels show goes in their layer once
    // it maps, raised on top of them below.
    if (!window.isVisible() && !floatingPanel(window) && window.windowFlags().testFlag(Qt::WindowTitleHint) &&
        panelsLayerShows(&window, true))
        lift(window);
    if (!window.isVisible() && window.windowType() == Qt::Tool) leaveWindowGroup(window);
    const bool mapping = !window.isVisible();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    // Mapped again, a minimised window comes back (ICCCM), whatever the toolkit knows yet.
    if (iconic) {
        XMapWindow(x11Display(), static_cast<Window>(window.winId()));
        XFlush(x11Display());
    }
    // The window manager has the map request before this.
    if (mapping && lifted(window) && x11Display() != nullptr) askAboveLayer(x11Display(), window, true);
    window.raise();
}

bool joiningPanelsLayer(const QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr || !(floatingPanel(window) || lifted(window)) || !isShowing(window)) return false;
    const auto states =
        x11PropertyValues(display, window.winId(), XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM);
    return std::find(states.begin(), states.end(), XInternAtom(display, "_NET_WM_STATE_ABOVE", False)) ==
           states.end();
}

void showFullScreenOnTop(QWidget& window) {
    Display* display = x11Display();
    constexpr const char* states[] = {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_FULLSCREEN"};
    if (display != nullptr && !window.isVisible()) x11AddStatesBeforeMapping(display, window.winId(), states);
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
    showRaised(window);
    if (display != nullptr && !window.property(asideProperty).toBool()) {
        new AsideWhileFullScreen(window);
        window.setProperty(asideProperty, true);
    }
}

void stackAboveShownPanels(QWidget& window, bool raise) {
    if (panelsLayerShows(&window, true))
        lift(window);
    else if (lifted(window))
        setAboveLayer(window, false);
    if (raise) window.raise();
}

}  // namespace tw
