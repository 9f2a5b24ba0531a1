#include "platform/qt/window_fade.h"

#include <QGuiApplication>

#include "platform/log.h"

namespace tw {

WindowFading windowFadingOn(QStringView platformName) {
    return platformName == u"xcb" ? WindowFading::byWindowOpacity : WindowFading::withoutWindowOpacity;
}

WindowFading decideWindowFading() {
    const QString platform = QGuiApplication::platformName();
    const WindowFading fading = windowFadingOn(platform);
    if (fading == WindowFading::byWindowOpacity) return fading;
    std::string message = "Windows cannot fade as a whole on Qt's ";
    message += platform.toStdString();
    message +=
        " platform: the signature toast fades by drawing itself fainter, the drag-down log shows "
        "without a fade.";
    log::info(message);
    return fading;
}

}  // namespace tw
