#include "platform/qt/above_strip_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

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

QRect placeAboveStrip(const QRect& available, int stripTop, const QRect& wanted, QSize minimum,
                      const QMargins& frame) {
    const QRect space = spaceAboveStrip(available, stripTop);
    const int floor = space.bottom() + 1;
    if (wanted.bottom() + 1 + frame.bottom() <= floor) return wanted;
    const int height =
        std::max(minimum.height(), std::min(wanted.height(), space.height() - frame.top() - frame.bottom()));
    const int top = std::max(floor - frame.bottom() - height, space.top() + frame.top());
    return {wanted.left(), top, wanted.width(), height};
}

namespace {

// A window not shown yet has no frame to measure: room for a title bar and borders.
constexpr QMargins unmeasuredFrame{4, 40, 4, 8};

void place(QWidget& window, const StripTop& stripTop, const WantedPlace& wanted, const QScreen& screen,
           const QMargins& frame) {
    const QRect available = screen.availableGeometry();
    const std::optional<int> top = stripTop ? stripTop() : std::nullopt;
    const QRect inner = placeAboveStrip(available, top.value_or(available.bottom() + 1),
                                        wanted(screen, frame), window.minimumSize(), frame);
    window.resize(inner.size());
    // A window's position is its frame's.
    window.move(inner.topLeft() - QPoint(frame.left(), frame.top()));
}

// Places the window once more when the window manager has framed it, then goes.
class PlaceWhenFramed final : public QObject {
   public:
    PlaceWhenFramed(QWidget& window, StripTop stripTop, WantedPlace wanted)
        : QObject(&window), window_(window), stripTop_(std::move(stripTop)), wanted_(std::move(wanted)) {
        setObjectName(name);
        window.installEventFilter(this);
    }

    // A later placement before the frame comes replaces this one.
    static void cancel(QWidget& window) {
        for (QObject* pending : window.findChildren<QObject*>(name, Qt::FindDirectChildrenOnly))
            delete pending;
    }

    // The window manager frames the window before mapping it: the frame is known by the
    // first paint, or by the move that framing makes where the manager moves the inside.
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Move && event->type() != QEvent::Paint) return false;
        if (window_.frameGeometry() == window_.geometry()) return false;
        window_.removeEventFilter(this);
        // Not from inside a paint.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (const QScreen* screen = QGuiApplication::primaryScreen())
                    place(window_, stripTop_, wanted_, *screen, frameAround(window_));
                deleteLater();
            },
            Qt::QueuedConnection);
        return false;
    }

   private:
    static constexpr const char* name = "tw-place-when-framed";
    QWidget& window_;
    StripTop stripTop_;
    WantedPlace wanted_;
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
    const bool framed = window.frameGeometry() != window.geometry();
    place(window, stripTop, wanted, *screen, framed ? frameAround(window) : unmeasuredFrame);
    if (!framed) new PlaceWhenFramed(window, stripTop, std::move(wanted));
    return true;
}

}  // namespace tw
