#include "Tumblewick/shell/transparent_window.h"

#include <QCloseEvent>
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
// Its state changes only through an event to it (hover, press, enabling, activation,
// style), so between events even the state is not asked again.
class CloseButton final : public QPushButton {
   public:
    using QPushButton::QPushButton;

   protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::Paint) stateKnown_ = false;
        return QPushButton::event(event);
    }
    void paintEvent(QPaintEvent*) override {
        const qreal ratio = devicePixelRatioF();
        if (stateKnown_ && !look_.isNull() && look_.size() == size() * ratio) {
            QPainter(this).drawPixmap(0, 0, look_);
            return;
        }
        QStyleOptionButton option;
        initStyleOption(&option);
        stateKnown_ = true;
        if (look_.isNull() || look_.size() != size() * ratio || option.state != lookState_) {
            look_ = QPixmap(size() * ratio);
            look_.setDevicePixelRatio(ratio);
            look_.fill(Qt::transparent);
            lookState_ = option.state;
            // What QPushButton's own paint does, onto the picture instead; a painter on
            // a picture starts from the application's font, not the button's.
            QPainter painter(&look_);
            painter.setFont(font());
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
    bool stateKnown_ = false;
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
    const PixelRect frame = pixelEdges(geometry.window);
    setGeometry(frame.x, frame.y, frame.width, frame.height);

    const PixelRect button = pixelEdges(geometry.closeButton);
    closeButton_->setGeometry(button.x, button.y, button.width, button.height);
    closeButton_->setFocusPolicy(Qt::NoFocus);
    closeButton_->setCursor(Qt::PointingHandCursor);
    // The font is set on the widget: a style sheet takes only whole pixels and drops a
    // fractional size (17.6 at 110%) for the default font.
    QFont font = closeButton_->font();
    font.setPixelSize(static_cast<int>(std::lround(geometry.closeButtonFontSize)));
    font.setBold(true);
    closeButton_->setFont(font);
    const double scale = geometry.closeButton.width / 22.0;
    closeButton_->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: %1px; "
                                               "background: rgb(138, 0, 0); color: rgb(255, 214, 0); "
                                               "padding: 0; }")
                                    .arg(std::lround(4 * scale)));
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

void TransparentWindow::closeEvent(QCloseEvent* event) {
    // The app's own closing on quit is not spontaneous and goes through; refusing it
    // would call the quit off.
    if (!event->spontaneous() || !quit_) return QWidget::closeEvent(event);
    // The window manager asks (a title-bar menu, a pager, Alt+F4): the strip stays up
    // while the quit path runs, once this event is done with.
    event->ignore();
    QMetaObject::invokeMethod(this, quit_, Qt::QueuedConnection);
}

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
