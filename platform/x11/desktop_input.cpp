#include "platform/x11/desktop_input.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <string>
#include <variant>

#include "platform/x11/local_input_filter.h"
#include "platform/x11/xinput2_source.h"

namespace tw {
namespace {

DesktopInput* sharedInstance = nullptr;

// A press may land in our window only where one of ours takes input.
bool mayLandLocally(InputHub::PressKind kind, std::optional<Point> screen) {
    if (kind == InputHub::PressKind::key) return QGuiApplication::focusWindow() != nullptr;
    if (!screen) return false;
    const QScreen* primary = QGuiApplication::primaryScreen();
    const double ratio = primary != nullptr ? primary->devicePixelRatio() : 1.0;
    const QPoint at(static_cast<int>(screen->x / ratio), static_cast<int>(screen->y / ratio));
    for (const QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible() && !window->flags().testFlag(Qt::WindowTransparentForInput) &&
            window->frameGeometry().contains(at)) {
            return true;
        }
    }
    return false;
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
    auto opened = XInput2Source::open(hub_);
    if (auto* reason = std::get_if<std::string>(&opened)) {
        hub_.reportGlobalInputUnavailable(*reason);
        return;
    }
    source_ = std::move(std::get<std::unique_ptr<XInput2Source>>(opened));
    hub_.setLocalTargetProbe(mayLandLocally);
    hub_.setGlobalInputAvailable();
}

DesktopInput::~DesktopInput() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(filter_);
}

}  // namespace tw
