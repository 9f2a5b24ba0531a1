#include "platform/x11/above_strip_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "platform/x11/window_manager.h"

namespace tw {

QRect spaceAboveStrip(const QRect& available, int stripTop) {
    const int floor = std::clamp(stripTop, available.top(), available.bottom() + 1);
    return {available.left(), available.top(), available.width(), floor - available.top()};
}

QRect centredIn(const QRect& area, QSize size, const QMargins& frame) {
    const int frameWidth = size.width() + frame.left() + frame.right();
    const int frameHeight = size.height() + frame.top() + frame.bottom();
    const int left = area.left() + std::max(0, (area.width() - frameWidth) / 2);
    const int top = area.top() + std::max(0, (area.height() - frameHeight) / 2);
    return {left + frame.left(), top + frame.top(), size.width(), size.height()};
}

QRect placeAboveStrip(const QRect& available, int stripTop, const QRect& wanted, const QMargins& frame) {
    QRect placed = wanted;
    const int widest = available.width() - frame.left() - frame.right();
    if (wanted.width() > widest) {
        placed.setLeft(available.left() + frame.left());
        placed.setWidth(std::max(1, widest));
    }
    const QRect space = spaceAboveStrip(available, stripTop);
    const int floor = space.bottom() + 1;
    if (placed.bottom() + 1 + frame.bottom() <= floor) return placed;
    // Some of it must show, even where the strip leaves no room at all.
    const int height = std::max(1, std::min(placed.height(), space.height() - frame.top() - frame.bottom()));
    const int top = floor - frame.bottom() - height;
    return {placed.left(), top, placed.width(), height};
}

namespace {

// Set on a window once placed: whether a window manager ran then, to frame it.
constexpr const char* placedFramed = "tw-placed-framed";

// A window not shown yet has no frame to measure: room for a title bar and borders.
constexpr QMargins unmeasuredFrame{4, 40, 4, 8};

void place(QWidget& window, const StripTop& stripTop, const WantedPlace& wanted, const QScreen& screen,
           const QMargins& frame) {
    const QRect available = screen.availableGeometry();
    const std::optional<int> top = stripTop ? stripTop() : std::nullopt;
    const QRect inner =
        placeAboveStrip(available, top.value_or(available.bottom() + 1), wanted(screen, frame), frame);
    window.resize(inner.size());
    // A window's position is its frame's.
    window.move(inner.topLeft() - QPoint(frame.left(), frame.top()));
}

// Places the window once more when the window manager has framed it, then goes. The
// toolkit learns of the frame around the mapping and tells no event of it, and what it
// reports meanwhile may be a passing value: a frame counts once it has a title bar and
// reads the same twice in a row. A manager that frames nothing in time never will: the
// window then goes where it belongs without one.
class PlaceWhenFramed final : public QObject {
   public:
    PlaceWhenFramed(QWidget& window, StripTop stripTop, WantedPlace wanted)
        : QObject(&window), window_(window), stripTop_(std::move(stripTop)), wanted_(std::move(wanted)) {
        setObjectName(name);
        timer_.setInterval(checkMilliseconds);
        connect(&timer_, &QTimer::timeout, this, &PlaceWhenFramed::check);
        timer_.start();
    }

    // A later placement before the frame comes replaces this one.
    static void cancel(QWidget& window) {
        for (QObject* pending : window.findChildren<QObject*>(name, Qt::FindDirectChildrenOnly))
            delete pending;
    }

   private:
    static constexpr const char* name = "tw-place-when-framed";
    static constexpr int checkMilliseconds = 50;
    static constexpr int checks = 100;  // a window manager that frames nothing in 5 s frames nothing

    void check() {
        const QMargins frame = frameAround(window_);
        const bool same = frame == last_;
        last_ = frame;
        if (++checked_ >= checks) {
            if (window_.isVisible())
                placeOnce(frame.top() > 0 ? frame : QMargins());
            else
                deleteLater();
            return;
        }
        if (!window_.isVisible() || frame.top() <= 0 || !same) return;
        placeOnce(frame);
    }

    void placeOnce(const QMargins& frame) {
        timer_.stop();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            place(window_, stripTop_, wanted_, *screen, frame);
        deleteLater();
    }

    QWidget& window_;
    StripTop stripTop_;
    WantedPlace wanted_;
    QTimer timer_;
    int checked_ = 0;
    QMargins last_;
};

}  // namespace

QMargins frameAround(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    return {inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
            frame.bottom() - inner.bottom()};
}

bool needsPlacing(const QWidget& window) {
    const QVariant framed = window.property(placedFramed);
    return !framed.isValid() || (!framed.toBool() && windowManagerFramesWindows());
}

bool placeClearOfStrip(QWidget& window, const StripTop& stripTop, WantedPlace wanted) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return false;
    PlaceWhenFramed::cancel(window);
    const bool measured = window.frameGeometry() != window.geometry();
    const bool managed = measured || windowManagerFramesWindows();
    window.setProperty(placedFramed, managed);
    if (!managed || measured) {
        place(window, stripTop, wanted, *screen, frameAround(window));
        return true;
    }
    place(window, stripTop, wanted, *screen, unmeasuredFrame);
    new PlaceWhenFramed(window, stripTop, std::move(wanted));
    return true;
}

namespace {

// Keeps a scrolling window's minimum width at its content's: measured whenever the
// content's layout changes and at each show, as a layout may come after the content is
// handed over and grow with what it shows later. No wider than the screen, where the
// content scrolls sideways instead.
class ContentWidthFollower final : public QObject {
   public:
    ContentWidthFollower(QWidget& window, QScrollArea& scroll, QWidget& content)
        : QObject(&window), window_(window), scroll_(scroll), content_(content) {
        content.installEventFilter(this);
        window.installEventFilter(this);
        fit();
    }

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((watched == &content_ && event->type() == QEvent::LayoutRequest) ||
            (watched == &window_ && event->type() == QEvent::Show))
            fit();
        return false;
    }

   private:
    void fit() {
        const int content = std::max(content_.minimumWidth(), content_.minimumSizeHint().width());
        int width = content + scroll_.verticalScrollBar()->sizeHint().width();
        if (const QScreen* screen = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen()) {
            // Until the window manager has framed it, room for a usual frame.
            const QMargins measured = frameAround(window_);
            const QMargins frame = measured.top() > 0 ? measured : unmeasuredFrame;
            width = std::min(width, screen->availableGeometry().width() - frame.left() - frame.right());
        }
        if (width != window_.minimumWidth()) window_.setMinimumWidth(width);
    }

    QWidget& window_;
    QScrollArea& scroll_;
    QWidget& content_;
};

}  // namespace

void setScrollingContent(QWidget& window, QWidget* content) {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(&window);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    layout->addWidget(scroll);
    new ContentWidthFollower(window, *scroll, *content);
}

}  // namespace tw
