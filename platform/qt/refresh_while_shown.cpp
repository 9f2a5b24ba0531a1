#include "platform/qt/refresh_while_shown.h"

#include <QEvent>
#include <QWidget>

namespace tw {

RefreshWhileShown::RefreshWhileShown(QWidget& window, int periodMilliseconds, std::function<void()> refresh)
    : QObject(&window), window_(window), refresh_(std::move(refresh)) {
    timer_.setInterval(periodMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh_(); });
    window.installEventFilter(this);
}

bool RefreshWhileShown::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_) return false;
    switch (event->type()) {
        case QEvent::Hide:  // closed, or minimised: the hide comes once the state says so
            timer_.stop();
            break;
        case QEvent::Show:  // a restore may show the window before its state says so
        case QEvent::WindowStateChange:
            if (window_.isVisible() && !window_.isMinimized()) {
                if (!timer_.isActive()) {
                    refresh_();
                    timer_.start();
                }
            } else {
                timer_.stop();
            }
            break;
        default:
            break;
    }
    return false;
}

}  // namespace tw
