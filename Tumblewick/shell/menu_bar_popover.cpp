#include "Tumblewick/shell/menu_bar_popover.h"

#include <QPainter>

#include "Tumblewick/shell/menu_bar/menu_bar_status.h"

namespace tw {
namespace {

// A press outside closes the popup; the release on the tray icon arrives this soon after.
constexpr qint64 closingClickMs = 300;

}  // namespace

MenuBarPopover::MenuBarPopover() : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint) {
    setWindowTitle(QStringLiteral("Tumblewick"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(static_cast<int>(menuBarPopoverSize.width), static_cast<int>(menuBarPopoverSize.height));
}

void MenuBarPopover::setContentView(QWidget* view) {
    view->setParent(this);
    view->setGeometry(rect());
    view->show();
}

bool MenuBarPopover::justClosed() const {
    return closedAt_.isValid() && closedAt_.elapsed() < closingClickMs;
}

void MenuBarPopover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1));
    painter.setBrush(QColor(28, 24, 40, 235));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

void MenuBarPopover::hideEvent(QHideEvent* event) {
    closedAt_.start();
    QWidget::hideEvent(event);
}

}  // namespace tw
