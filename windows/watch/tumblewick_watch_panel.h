#pragma once
// "Watch the Troupe": a full-screen black window for simply watching the fleas live,
// redrawn 30 times a second while it shows, whoever shows it, and not at all while
// hidden or minimised. Escape, Q or
// Super+W leave it, read by key position so every keyboard layout leaves the same way;
// any other key, or moving the mouse, brings back the hint for a few seconds. Built on
// the first show that finds a screen, then reused.
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "platform/clock.h"
#include "platform/qt/qpainter_canvas.h"
#include "platform/qt/refresh_while_shown.h"
#include "windows/companions/speaker_name.h"
#include "windows/watch/watch_panel_drawing.h"

namespace tw {

class TumblewickAgentHost;

class WatchPanelView final : public QWidget {
   public:
    using SceneSource = std::function<watch::Scene()>;

    WatchPanelView(const Clock& clock, SceneSource scene, QWidget* parent = nullptr);

    // Called to leave; nothing happens without one.
    std::function<void()> dismissAction;

    // Fades the hint and asks for a redraw.
    void refresh();
    // The hint at full strength from now on.
    void showHint();
    double hintAlpha() const { return hintAlpha_; }

   protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

   private:
    const Clock& clock_;
    SceneSource scene_;
    double hintAlpha_ = 0;
    std::optional<Date> hintShownAt_;
    QPainterCanvasCache cache_;
};

class TumblewickWatchPanel final {
   public:
    using SceneSource = WatchPanelView::SceneSource;
    static constexpr int refreshMilliseconds = 1000 / static_cast<int>(watch::framesPerSecond);

    // `clock` must outlive the panel.
    TumblewickWatchPanel(SceneSource scene, const Clock& clock);
    ~TumblewickWatchPanel();
    TumblewickWatchPanel(const TumblewickWatchPanel&) = delete;
    TumblewickWatchPanel& operator=(const TumblewickWatchPanel&) = delete;

    // What the host holds now, read at every frame.
    // Custom fleas by their current names.
    static SceneSource hostSource(TumblewickAgentHost& host, CustomFleaList customFleas);

    // Hides the window when it shows, otherwise shows it, no longer minimised.
    void toggle();
    void show();
    void hide();

    // Null until the first show that found a screen.
    WatchPanelView* view() const { return view_.get(); }
    // Whether it redraws: it shows, not minimised.
    bool redrawing() const { return refreshing_ != nullptr && refreshing_->running(); }

   private:
    SceneSource scene_;
    const Clock& clock_;
    std::unique_ptr<WatchPanelView> view_;
    RefreshWhileShown* refreshing_ = nullptr;  // a child of the view
};

}  // namespace tw
