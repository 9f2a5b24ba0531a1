#include "platform/x11/titled_window.h"

#include <QWidget>

namespace tw {
namespace {

constexpr Qt::WindowFlags titleBarHints = Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                                          Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint;

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

}  // namespace tw
