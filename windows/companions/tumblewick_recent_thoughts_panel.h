#pragma once
// The recent thoughts panel: a floating tool window in the top-right corner with what
// the fleas said lately. It refreshes every second while it shows and not at all
// while hidden. Built on the first toggle that finds a screen, then reused.
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "windows/companions/recent_thoughts_texts.h"

namespace tw {

class Clock;
class TumblewickAgentHost;

class TumblewickRecentThoughtsPanel final : public QWidget {
   public:
    using Source = std::function<std::vector<ThoughtsRun>()>;
    static constexpr int refreshMilliseconds = 1000;

    explicit TumblewickRecentThoughtsPanel(Source source, QWidget* parent = nullptr);
    // What the host holds now, read at each refresh.
    static Source hostSource(TumblewickAgentHost& host, const Clock& clock);

    // Hides the panel when it shows, otherwise refreshes and shows it without taking focus.
    void toggle();
    void refresh();

    QString shownText() const { return text_->toPlainText(); }
    const QTimer& refreshTimer() const { return refreshTimer_; }

   protected:
    void hideEvent(QHideEvent* event) override;

   private:
    Source source_;
    QTextEdit* text_ = nullptr;
    QTimer refreshTimer_;
    bool placed_ = false;
};

}  // namespace tw
