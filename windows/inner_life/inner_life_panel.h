#pragma once
// One flea from the inside: its latest actions, its mood as four bars, its strongest
// bonds and its newest lines. A floating tool window that takes no focus, built on the
// first show that finds a screen and reused for every flea; it refreshes every second
// while it shows, whoever shows it.
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/owner_lifetime.h"
#include "platform/qt/refresh_while_shown.h"
#include "platform/x11/above_strip_placement.h"
#include "windows/companions/speaker_name.h"
#include "windows/inner_life/canvas_widget.h"
#include "windows/inner_life/elided_label.h"
#include "windows/inner_life/inner_life_texts.h"

namespace tw {

class Clock;
class TumblewickAgentHost;

class TumblewickInnerLifePanel final : public QWidget {
   public:
    using BondsAnswer = std::function<void(std::vector<agent_host::Bond>)>;
    struct Source {
        std::function<InnerLifeContent(const std::string& fleaId, const std::string& displayName)> content;
        // Answers later, on the main thread.
        std::function<void(const std::string& fleaId, int limit, BondsAnswer done)> topBonds;
    };
    using OpenTimeline = std::function<void(const std::string& fleaId, const std::string& displayName)>;
    static constexpr int refreshMilliseconds = 1000;

    TumblewickInnerLifePanel(Source source, OpenTimeline openTimeline, QWidget* parent = nullptr);
    // The scheduler's diagnostics, the feed and the decision log's bonds; custom fleas
    // by their current names.
    static Source hostSource(TumblewickAgentHost& host, const Clock& clock, CustomFleaList customFleas);

    using QWidget::show;
    // Switches the panel to this flea and brings it up without focus.
    void show(const std::string& fleaId, const std::string& displayName);
    void refresh();
    // The same flea in the timeline window.
    void openTimeline();
    // Where the strip is, which the panel opens clear of.
    void setStripTop(StripTop stripTop) { stripTop_ = std::move(stripTop); }

    const InnerLifeContent& shown() const { return shown_; }
    QString bondsText() const { return bonds_->fullText(); }
    // The text rows as shown, cut to their frames.
    const ElidedLabel& voiceLabel() const { return *voice_; }
    const ElidedLabel& bondsLabel() const { return *bonds_; }
    QString linesText() const { return text_->toPlainText(); }
    QPushButton& timelineButton() const { return *timelineButton_; }
    const QTimer& refreshTimer() const { return refreshing_->timer(); }

   private:
    Source source_;
    OpenTimeline openTimeline_;
    ElidedLabel* name_ = nullptr;
    ElidedLabel* voice_ = nullptr;
    CanvasWidget* moodBars_ = nullptr;
    ElidedLabel* bonds_ = nullptr;
    QPushButton* timelineButton_ = nullptr;
    QTextEdit* text_ = nullptr;
    RefreshWhileShown* refreshing_ = nullptr;  // a child of the panel
    std::string fleaId_;
    std::string displayName_;
    InnerLifeContent shown_;
    StripTop stripTop_;
    OwnerLifetime lifetime_;  // last: late bonds stop before anything else goes
};

}  // namespace tw
