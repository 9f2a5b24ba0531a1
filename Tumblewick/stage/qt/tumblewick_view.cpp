#include "Tumblewick/stage/qt/tumblewick_view.h"

#include <sys/prctl.h>

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <chrono>
#include <optional>
#include <thread>

#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/stage/stage_painter.h"
#include "platform/log.h"
#include "platform/number_format.h"
#include "platform/x11/mac_key_code_table.h"

namespace tw {

// The desktop as the stage sees it: y measured up from the main screen's bottom edge.
class TumblewickView::Screen final : public StageScreen {
   public:
    Screen(const QWidget& view, const InputMonitor* input) : view_(view), input_(input) {}

    // Asking the X server is a round trip, once a frame. While no device moves the
    // pointer the last answer stands; it is asked again every few frames all the same,
    // for a pointer that a program warps (followed within a quarter of a second).
    Point globalMouseLocation() const override {
        static constexpr int framesPerForcedAsk = 15;
        // Where input devices are read directly the monitor follows the pointer itself.
        if (const auto at = input_ != nullptr ? input_->pointerPosition() : std::nullopt) {
            return Point{at->x, mainHeight() - at->y};
        }
        const auto motions = input_ != nullptr ? input_->pointerMotions() : std::nullopt;
        if (!motions || !pointer_ || *motions != pointerMotions_ || ++asksSkipped_ >= framesPerForcedAsk) {
            pointer_ = QCursor::pos();
            pointerMotions_ = motions.value_or(0);
            asksSkipped_ = 0;
        }
        return Point{static_cast<double>(pointer_->x()), mainHeight() - pointer_->y()};
    }
    std::optional<double> mainScreenHeight() const override {
        if (QGuiApplication::primaryScreen() == nullptr) return std::nullopt;
        return mainHeight();
    }
    std::optional<Rect> windowFrame() const override {
        const QWidget* window = view_.window();
        if (window == nullptr || !window->isVisible()) return std::nullopt;
        const QRect frame = window->frameGeometry();
        return Rect{static_cast<double>(frame.x()), mainHeight() - frame.y() - frame.height(),
                    static_cast<double>(frame.width()), static_cast<double>(frame.height())};
    }

   private:
    static double mainHeight() {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? screen->geometry().height() : 0.0;
    }
    const QWidget& view_;
    const InputMonitor* input_;
    mutable std::optional<QPoint> pointer_;
    mutable std::uint64_t pointerMotions_ = 0;
    mutable int asksSkipped_ = 0;
};

namespace {

// Sleeps until `deadline`, so that no frame runs ahead of its media time. A sleep's
// overshoot is harmless: the frame is stamped with its deadline all the same.
void waitUntil(const Clock& clock, double deadline) {
    if (const double sleep = deadline - clock.monotonic(); sleep > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(sleep));
    }
}

std::optional<double> mainScreenPixelRatio() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return std::nullopt;
    return screen->devicePixelRatio();
}

}  // namespace

TumblewickView::TumblewickView(QSize size, Services services, QWidget* parent)
    : QWidget(parent),
      screen_(std::make_unique<Screen>(*this, services.input)),
      stage_(std::make_unique<TumblewickStage>(
          Size{static_cast<double>(size.width()), static_cast<double>(size.height())},
          StageServices{frameClock_, services.mainQueue, services.defaults, services.agentHost,
                        services.customFleas, services.xp, *screen_, services.updateChecker},
          static_cast<int>(resolvedTargetFPS()), resolvedUIScale(mainScreenPixelRatio(), services.defaults))),
      pacer_(stage_->targetFPS, clock_.monotonic()) {
    // The frame loop's sleeps and timers wake within a few microseconds of when they
    // are due, not the default 50 µs slack, so frames reach the screen on their beat.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    resize(size);
    setFocusPolicy(Qt::StrongFocus);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TumblewickView::tick);
    if (services.input != nullptr) {
        // Clicks reach the flea under the mouse; Shift asks past a refusal.
        input_ = std::make_unique<StageInputRouter>(
            *services.input, stage_->energy, services.mainQueue,
            [this](const MousePress& press) { stage_->routeClickThroughAgent(press.shift); });
    }
    schedule();
}

TumblewickView::~TumblewickView() {
    timer_.stop();
    input_.reset();  // before the stage whose meter it winds
}

void TumblewickView::schedule() {
    const auto plan = pacer_.plan(clock_.monotonic(), stage_->lastRenderTime);
    timer_.start(std::max(plan.timerMilliseconds, 0));
}

void TumblewickView::tick() {
    const auto plan = pacer_.plan(clock_.monotonic(), stage_->lastRenderTime);
    if (plan.timerMilliseconds > 0) {
        timer_.start(plan.timerMilliseconds);  // woke early: wait for the deadline
        return;
    }
    waitUntil(clock_, plan.waitUntil);
    frameClock_.advanceTo(plan.waitUntil);
    ++ticks_;
    stage_->update();
    // Painted and sent now, at the frame's deadline: a posted update would cost the event
    // loop another wakeup and round every frame.
    repaint();
    schedule();
}

void TumblewickView::paintEvent(QPaintEvent*) {
    cache_.beginFrame(clock_.monotonic());
    QPainter painter(this);
    QPainterCanvas canvas(painter, &cache_);
    const bool cleared = window()->testAttribute(Qt::WA_TranslucentBackground);
    paintStage(canvas, *stage_, clock_.now(), clock_.monotonic(),
               cleared ? PaintTarget::alreadyClear : PaintTarget::holdsLastFrame);
}

void TumblewickView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    stage_->setBounds(Size{static_cast<double>(width()), static_cast<double>(height())});
}

// Clicks and keys reach the stage through the input monitors; the view only logs them.
void TumblewickView::mousePressEvent(QMouseEvent* event) {
    const QPointF p = event->position();
    log::plain("🖱️ View mouseDown at (" + formatDouble(p.x()) + ", " + formatDouble(height() - p.y()) +
               ")");
}

void TumblewickView::keyPressEvent(QKeyEvent* event) {
    const auto line = keyPressedLine(translateXKey(event->nativeScanCode(), event->nativeVirtualKey()));
    if (line) log::plain(*line);
}

}  // namespace tw
