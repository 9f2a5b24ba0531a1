#pragma once
// The story-arc card: a small translucent panel in the top-right corner of the main
// screen, on every workspace, above other windows and never taking the focus. A day
// badge, the headline on one line and the body on at most two, each cut with an
// ellipsis. Texts are shown as plain text.
#include <QLabel>
#include <QWidget>

#include "Tumblewick/shell/story_arc/arc_overlay_controller.h"

namespace tw {

class ArcOverlayView final : public QWidget, public ArcCardPanel {
   public:
    // Placed once, at `frame` (top-left screen coordinates).
    explicit ArcOverlayView(Rect frame);

    void configure(const ArcCard& card) override;
    void orderFront() override;

    const QLabel& dayBadge() const { return *dayBadge_; }
    const QLabel& headlineLabel() const { return *headlineLabel_; }
    const QLabel& bodyLabel() const { return *bodyLabel_; }

    // A panel at the main screen's usable top-right corner.
    static std::unique_ptr<ArcCardPanel> makeOnMainScreen();

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    QLabel* dayBadge_;
    QLabel* headlineLabel_;
    QLabel* bodyLabel_;
};

}  // namespace tw
