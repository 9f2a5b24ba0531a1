#include "Tumblewick/shell/transparent_window.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>

#include "Tumblewick/shell/x11_window_hints.h"

namespace tw {
namespace {

// The stage below repaints every frame, and the button with it: drawn through its
// style sheet each time, it cost more than a whole act. Its look follows only its
// size, state and style, so it is drawn once and stamped until one of them changes.
class CloseButton final : public QPushButton {
   public:
    using QPushButton::QPushButton;

   protected:
    void paintEvent(QPaintEvent*) override {
        const qreal ratio = devicePixelRatioF();
        QStyleOptionButton option;
        initStyleOption(&option);
        if (look_.isNull() || look_.size() != size() * ratio || option.state != lookState_) {
            look_ = QPixmap(size() * ratio);
            look_.setDevicePixelRatio(ratio);
            look_.fill(Qt::transparent);
            lookState_ = option.state;
            // What QPushButton's own paint does, onto the picture instead.
            QPainter painter(&look_);
            style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
        }
        QPainter(this).drawPixmap(0, 0, look_);
    }
    void changeEvent(QEvent* event) override {
        look_ = QPixmap();  // style sheet, font, palette or state: draw afresh
        QPushButton::changeEvent(event);
    }

   private:
    QPixmap look_;
    QStyle::State lookState_;
};

}  // namespace

TransparentWindow::TransparentWindow(const StripGeometry& geometry)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      closeButton_(new CloseButton(QStringLiteral("×"), this)) {
    setWindowTitle(QStringLiteral("Tumblewick"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(static_cast<int>(std::lround(geometry.window.x)),
                static_cast<int>(std::lround(geometry.window.y)),
                static_cast<int>(std::lround(geometry.window.width)),
                static_cast<int>(std::lround(geometry.window.height)));

    const Rect& b = geometry.closeButton;
    closeButton_->setGeometry(static_cast<int>(std::lround(b.x)), static_cast<int>(std::lround(b.y)),
                              static_cast<int>(std::lround(b.width)),
                              static_cast<int>(std::lround(b.height)));
    closeButton_->setFocusPolicy(Qt::NoFocus);
    closeButton_->setCursor(Qt::PointingHandCursor);
    const double scale = b.width / 22.0;
    closeButton_->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: %1px; "
                                               "background: rgb(138, 0, 0); color: rgb(255, 214, 0); "
                                               "font-weight: bold; font-size: %2px; padding: 0; }")
                                    .arg(4 * scale)
                                    .arg(geometry.closeButtonFontSize));
    closeButton_->installEventFilter(this);
}

void TransparentWindow::setContentView(QWidget* view) {
    view->setParent(this);
    view->setGeometry(rect());
    view->show();
    closeButton_->raise();
}

void TransparentWindow::onCloseButton(std::function<void()> quit, std::function<void(QWidget&)> showMenu) {
    quit_ = std::move(quit);
    showMenu_ = std::move(showMenu);
}

void TransparentWindow::orderFront() { orderFrontWithStripHints(*this); }

bool TransparentWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != closeButton_ || event->type() != QEvent::MouseButtonRelease)
        return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (!closeButton_->rect().contains(mouse->position().toPoint())) return false;
    const bool menu = mouse->button() == Qt::RightButton ||
                      (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier));
    if (menu) {
        if (showMenu_) showMenu_(*closeButton_);
    } else if (mouse->button() == Qt::LeftButton) {
        if (quit_) quit_();
    }
    return true;
}

}  // namespace tw
