#include "platform/x11/desktop_input.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <string>
#include <variant>

#include "platform/desktop_info.h"
#include "platform/evdev/device_watch.h"
#include "platform/evdev/evdev_source.h"
#include "platform/x11/local_input_filter.h"
#include "platform/x11/xinput2_source.h"

namespace tw {
namespace {

DesktopInput* sharedInstance = nullptr;

// A press may land in our window only where one of ours takes input; `at` in the
// toolkit's pixels.
bool mayLandLocally(InputHub::PressKind kind, std::optional<QPoint> at) {
    if (kind == InputHub::PressKind::key) return QGuiApplication::focusWindow() != nullptr;
    if (!at) return false;
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && !window->flags().testFlag(Qt::WindowTransparentForInput) &&
            window->frameGeometry().contains(*at)) {
            return true;
        }
    }
    return false;
}

double pixelRatio() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? primary->devicePixelRatio() : 1.0;
}

// XInput2 places a press in the X screen's pixels.
bool mayLandAtScreenPoint(InputHub::PressKind kind, std::optional<Point> screen) {
    if (!screen) return mayLandLocally(kind, std::nullopt);
    const double ratio = pixelRatio();
    return mayLandLocally(kind,
                          QPoint(static_cast<int>(screen->x / ratio), static_cast<int>(screen->y / ratio)));
}

// The pointer position evdev follows is an estimate, but over our own windows (X
// windows) XWayland knows exactly where the pointer is.
bool mayLandAtXPointer(InputHub::PressKind kind, std::optional<Point>) {
    return mayLandLocally(kind, QCursor::pos());
}

Rect desktopArea() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) return {};
    const QRect area = primary->virtualGeometry();
    return {double(area.x()), double(area.y()), double(area.width()), double(area.height())};
}

}  // namespace

DesktopInput& DesktopInput::shared() {
    if (sharedInstance == nullptr) {
        sharedInstance = new DesktopInput();
        qAddPostRoutine([] { delete std::exchange(sharedInstance, nullptr); });
    }
    return *sharedInstance;
}

DesktopInput::DesktopInput() : hub_(queue_) {
    filter_ = new LocalInputFilter(hub_, this);
    QCoreApplication::instance()->installEventFilter(filter_);
    // Another platform's display cannot be watched through X, even where X runs beside it.
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        hub_.reportGlobalInputUnavailable("not an X11 session");
        return;
    }
    if (DesktopInfo::current().waylandSession) {
        startEvdev();
    } else {
        startXInput2();
    }
}

DesktopInput::~DesktopInput() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(filter_);
}

void DesktopInput::startXInput2() {
    auto opened = XInput2Source::open(hub_);
    if (auto* reason = std::get_if<std::string>(&opened)) {
        hub_.reportGlobalInputUnavailable(*reason);
        return;
    }
    source_ = std::move(std::get<std::unique_ptr<XInput2Source>>(opened));
    hub_.setLocalTargetProbe(mayLandAtScreenPoint);
    hub_.setGlobalInputAvailable();
}

// XWayland shows us only X clients' input: the rest comes from the devices themselves.
void DesktopInput::startEvdev() {
    const QPoint start = QCursor::pos();
    auto source =
        std::make_unique<EvdevSource>(hub_, desktopArea, Point{double(start.x()), double(start.y())});
    auto opened = InputDeviceWatch::open(*source);
    if (auto* reason = std::get_if<std::string>(&opened)) {
        hub_.reportGlobalInputUnavailable(*reason,
                                          "To let it read the keyboards, join the 'input' group and log in "
                                          "again; that lets every program you run read every key you press.");
        return;
    }
    evdev_ = std::move(source);
    devices_ = std::move(std::get<std::unique_ptr<InputDeviceWatch>>(opened));
    hub_.setLocalTargetProbe(mayLandAtXPointer);
    // The kernel stamps a press before XWayland passes its copy to our window.
    hub_.setCopyTimeTolerance(static_cast<std::uint32_t>(InputHub::kLocalCopyWait * 1000));
    hub_.setGlobalInputAvailable();
}

}  // namespace tw
