#include "platform/x11/x11_display.h"

#include <QGuiApplication>

namespace tw {

Display* x11Display() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->display() : nullptr;
}

}  // namespace tw
