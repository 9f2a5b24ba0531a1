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
    const QRect space = spaceAboveStrip(available, stripTop);
    const int floor = space.bottom() + 1;
    if (wanted.bottom() + 1 + frame.bottom() <= floor) return wanted;
    // Some of it must show, even where the strip leaves no room at all.
    const int height = std::max(1, std::min(wanted.height(), space.height() - frame.top() - frame.bottom()));
    const int top = floor - frame.bottom() - height;
    return {wanted.left(), top, wanted.width(), height};
}

namespace {

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

bool placeClearOfStrip(QWidget& window, const StripTop& stripTop, WantedPlace wanted) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return false;
    PlaceWhenFramed::cancel(window);
    if (window.frameGeometry() != window.geometry() || !windowManagerFramesWindows()) {
        place(window, stripTop, wanted, *screen, frameAround(window));
        return true;
    }
    place(window, stripTop, wanted, *screen, unmeasuredFrame);
    new PlaceWhenFramed(window, stripTop, std::move(wanted));
    return true;
}

void setScrollingContent(QWidget& window, QWidget* content) {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(&window);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    layout->addWidget(scroll);
    // Only ever shorter: the room above the strip is short, never narrow. The window
    // keeps room for the content beside the vertical bar, so it never scrolls sideways.
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int contentWidth = std::max(content->minimumWidth(), content->minimumSizeHint().width());
    window.setMinimumWidth(contentWidth + scroll->verticalScrollBar()->sizeHint().width());
}

}  // namespace tw
