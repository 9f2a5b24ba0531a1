#include "Tumblewick/shell/strip_stacking.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "platform/x11/restack_above.h"

namespace tw {
namespace {

// Whether `event` on `watched` puts one of our windows over the strip.
bool coversStrip(const QWidget& strip, const QObject& watched, QEvent::Type event) {
    // Every event of the app passes here, paints included: the type decides first.
    if (event != QEvent::Show && event != QEvent::WindowActivate && event != QEvent::MouseButtonPress)
        return false;
    const auto* widget = qobject_cast<const QWidget*>(&watched);
    if (widget == nullptr) return false;
    // A press lands on a control inside the window; showing and activation on the window.
    const QWidget* window = event == QEvent::MouseButtonPress ? widget->window() : widget;
    if (!window->isWindow() || window == &strip || window->isFullScreen()) return false;
    switch (window->windowType()) {
        case Qt::Popup:
        case Qt::ToolTip:
        case Qt::SplashScreen:
        case Qt::Desktop:
            return false;
        default:
            break;
    }
    return true;
}

}  // namespace

StripStacking::StripStacking(QWidget& strip) : strip_(strip) { qApp->installEventFilter(this); }

StripStacking::~StripStacking() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool StripStacking::eventFilter(QObject* watched, QEvent* event) {
    if (!raisePending_ && strip_.isVisible() && coversStrip(strip_, *watched, event->type())) {
        raisePending_ = true;
        // After the window's own show and raise, and the window manager's restacking of
        // a clicked window: those come before our next turn.
        QTimer::singleShot(0, this, [this] {
            raisePending_ = false;
            tries_ = 20;
            raiseStrip();
        });
    }
    return false;
}

void StripStacking::raiseStrip() {
    // A window just shown is stacked once the window manager maps it: asked again until
    // it is, for a second at most.
    if (strip_.isVisible() && !restackAboveOurWindows(strip_) && --tries_ > 0)
        QTimer::singleShot(50, this, [this] {
            if (!raisePending_) raiseStrip();
        });
}

}  // namespace tw
