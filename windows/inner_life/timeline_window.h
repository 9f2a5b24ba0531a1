#pragma once
// One flea's timeline: its tally, a bar chart of its lines over the last hour and all
// its lines in the feed, newest first. An ordinary window that cannot be minimised,
// centred when first built (clear of the strip) and reused for every flea; it
// refreshes every two seconds while it shows, whoever shows it.
#include <QLabel>
#include <QTextEdit>
#include <QWidget>
#include <functional>
#include <string>

#include "platform/qt/refresh_while_shown.h"
#include "platform/x11/above_strip_placement.h"
#include "windows/inner_life/canvas_widget.h"
#include "windows/inner_life/elided_label.h"
#include "windows/inner_life/timeline_texts.h"

namespace tw {

class Clock;
class TumblewickAgentHost;

class TumblewickTimelineWindow final : public QWidget {
   public:
    using Source = std::function<TimelineContent(const std::string& fleaId, const std::string& displayName)>;
    static constexpr int refreshMilliseconds = 2000;

    explicit TumblewickTimelineWindow(Source source, QWidget* parent = nullptr);
    // The host's feed as it is at each refresh.
    static Source hostSource(TumblewickAgentHost& host, const Clock& clock);

    using QWidget::show;
    // Switches the window to this flea and brings it to the front.
    void show(const std::string& fleaId, const std::string& displayName);
    void refresh();
    // Where the strip is, which the window opens clear of.
    void setStripTop(StripTop stripTop) { stripTop_ = std::move(stripTop); }

    const TimelineContent& shown() const { return shown_; }
    QString shownText() const { return text_->toPlainText(); }
    QString headerText() const { return header_->text(); }
    const QTimer& refreshTimer() const { return refreshing_->timer(); }

   protected:
    void changeEvent(QEvent* event) override;

   private:
    Source source_;
    ElidedLabel* header_ = nullptr;
    QLabel* summary_ = nullptr;
    CanvasWidget* chart_ = nullptr;
    QTextEdit* text_ = nullptr;
    RefreshWhileShown* refreshing_ = nullptr;  // a child of the window
    std::string fleaId_;
    std::string displayName_;
    TimelineContent shown_;
    StripTop stripTop_;
};

}  // namespace tw
