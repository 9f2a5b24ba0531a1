#pragma once
// The drag-down log: a full-width strip that slides down from the top of the primary
// screen with the newest lines as chips. Clicks pass through it; the next left press
// anywhere but in one of our own windows dismisses it, as does its hotkey. Built on
// the first show that finds a screen, then reused; it refreshes only while shown.
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/input_monitor.h"
#include "platform/qt/window_fade.h"
#include "windows/companions/drag_down_log_texts.h"
#include "windows/companions/speaker_name.h"

class QHBoxLayout;

namespace tw {

class Clock;
class TumblewickAgentHost;

// The strip itself: header, hint and a row of chips, drawn on a rounded dark card.
class DragDownLogView final : public QWidget {
   public:
    static constexpr int minimumHeight = 86;

    DragDownLogView();
    // Shows the chips, newest first, as many as fit the view's present width.
    void refresh(const std::vector<DragDownChip>& chips);
    // Each chip's name, line and age, one string per chip, left to right.
    QStringList chipTexts() const;
    // What stands in the row when nothing was said, or empty.
    QString quietText() const;

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    QHBoxLayout* chipsContainer_ = nullptr;
    std::vector<QWidget*> chips_;
};

class TumblewickDragDownLog final : public QObject, private InputSubscriber {
   public:
    using Source = std::function<std::vector<DragDownChip>()>;
    static constexpr int refreshMilliseconds = 1000;
    static constexpr int topGap = 28;
    static constexpr int slideInMilliseconds = 320;
    static constexpr int slideOutMilliseconds = 220;

    // `input` must outlive the log; presses reach it only while the log shows. Without
    // window opacity the log only slides.
    TumblewickDragDownLog(Source source, InputMonitor& input,
                          WindowFading fading = WindowFading::byWindowOpacity);
    ~TumblewickDragDownLog() override;
    // Custom fleas by their current names.
    static Source hostSource(TumblewickAgentHost& host, const Clock& clock, CustomFleaList customFleas);

    // Hides the log while it shows (or slides in), otherwise shows it.
    void toggle();
    void show();
    void hide();

    bool isShown() const { return shown_; }
    DragDownLogView* view() const { return panel_.get(); }
    const QTimer& refreshTimer() const { return refreshTimer_; }
    bool dismissMonitorInstalled() const { return dismissMonitor_.has_value(); }

   private:
    void mouseDown(const MousePress& press) override;
    void refresh();
    void slide(const QRect& to, double alpha, int milliseconds, QEasingCurve::Type curve, bool thenHide);

    Source source_;
    InputMonitor& input_;
    std::unique_ptr<DragDownLogView> panel_;
    QTimer refreshTimer_;
    std::optional<InputMonitor::Subscription> dismissMonitor_;
    QParallelAnimationGroup slide_;
    QPropertyAnimation* slideFrame_ = nullptr;
    QPropertyAnimation* slideAlpha_ = nullptr;  // none without window opacity
    WindowFading fading_;
    bool hideWhenSlid_ = false;
    bool shown_ = false;
};

}  // namespace tw
