#pragma once
// The stage on screen: a widget that owns one TumblewickStage, drives its frame loop
// with a precise self-rescheduling timer paced by FramePacer, and paints it with
// QPainter through a canvas that keeps its cached pictures and text layouts between
// frames. The toolkit's top-left screen origin is turned into the stage's bottom-left
// one here, and nowhere else. Main thread only.
#include <QTimer>
#include <QWidget>
#include <memory>

#include "Tumblewick/stage/frame_pacer.h"
#include "Tumblewick/stage/stage_input_router.h"
#include "Tumblewick/stage/tumblewick_stage.h"
#include "platform/clock.h"
#include "platform/qt/qpainter_canvas.h"

namespace tw {

class TumblewickView final : public QWidget {
    Q_OBJECT
   public:
    // What the stage needs besides the screen, which the view supplies; every reference
    // must outlive the view.
    struct Services {
        MainQueue& mainQueue;
        Defaults& defaults;  // the standard suite
        StageAgentHost& agentHost;
        StageCustomFleas& customFleas;
        CustomFleaXPSink& xp;
        UpdateChecker* updateChecker = nullptr;
        // Desktop-wide clicks and key presses; none: the stage hears only the mouse's moves.
        InputMonitor* input = nullptr;
    };

    // Builds the stage for `size` with the configured frame rate and the main screen's
    // UI scale, and starts the frame loop.
    TumblewickView(QSize size, Services services, QWidget* parent = nullptr);
    ~TumblewickView() override;

    TumblewickStage& stage() { return *stage_; }
    std::int64_t ticks() const { return ticks_; }

   protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

   private:
    class Screen;
    void tick();
    void schedule();

    SystemClock clock_;
    FrameClock frameClock_{clock_};  // the stage's: each frame at its deadline
    std::unique_ptr<Screen> screen_;
    std::unique_ptr<TumblewickStage> stage_;
    FramePacer pacer_;
    QTimer timer_;
    QPainterCanvasCache cache_;
    std::unique_ptr<StageInputRouter> input_;
    std::int64_t ticks_ = 0;
};

}  // namespace tw
