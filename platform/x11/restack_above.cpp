#include "platform/x11/restack_above.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "platform/x11/titled_window.h"
#include "platform/x11/window_manager.h"
#include "platform/x11/x11_display.h"

// Xlib's macros (Bool, Status) clash with Qt's names: it comes after Qt.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {

std::optional<unsigned long> restackSibling(std::span<const unsigned long> stackingBottomFirst,
                                            unsigned long window, std::span<const unsigned long> ours) {
    for (auto above = stackingBottomFirst.rbegin(); above != stackingBottomFirst.rend(); ++above) {
        if (*above == window) return std::nullopt;
        if (std::find(ours.begin(), ours.end(), *above) != ours.end()) return *above;
    }
    return std::nullopt;
}

bool restackAboveOurWindows(QWidget& window) {
    Display* display = x11Display();
    if (display == nullptr || !windowManagerFramesWindows()) {
        window.raise();  // nobody to ask, nobody to misread it
        return true;
    }
    const std::vector<unsigned long> stacking =
        x11PropertyValues(display, DefaultRootWindow(display),
                          XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False), XA_WINDOW);
    std::vector<unsigned long> ours;
    bool allStacked = true;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        // Only windows the window manager stacks: not menus, tooltips or overlays it never sees.
        if (other == &window || !other->isVisible() || other->isFullScreen() ||
            !other->testAttribute(Qt::WA_WState_Created) || other->windowType() == Qt::Popup ||
            other->windowType() == Qt::ToolTip ||
            other->windowFlags().testFlag(Qt::X11BypassWindowManagerHint))
            continue;
        ours.push_back(other->winId());
        // One on its way into the layer above goes on top of it once there (xfwm4).
        allStacked = allStacked &&
                     std::find(stacking.begin(), stacking.end(), ours.back()) != stacking.end() &&
                     !joiningPanelsLayer(*other);
    }
    if (const auto sibling = restackSibling(stacking, window.winId(), ours)) {
        // ICCCM's restack request relative to a sibling, which every window manager takes
        // (not all know _NET_RESTACK_WINDOW): the window manager hears it as it would a
        // pager's, never as the window asking for attention.
        XWindowChanges changes{};
        changes.sibling = static_cast<Window>(*sibling);
        changes.stack_mode = Above;
        XReconfigureWMWindow(display, window.winId(), DefaultScreen(display), CWSibling | CWStackMode,
                             &changes);
        XFlush(display);
    }
    return allStacked;
}

}  // namespace tw
