#pragma once
// The animated flea at the top of the detail pane: the stage's own figure on a dark
// rounded backdrop, advanced 30 times a second while it is on screen.
#include <QTimer>
#include <QWidget>

#include "Tumblewick/colony/ui/mac_flea_preview_look.h"

namespace tw {

class MacFleaPreviewView final : public QWidget {
    Q_OBJECT
   public:
    explicit MacFleaPreviewView(QWidget* parent = nullptr);

    // Takes effect at the next tick; the animation goes on from its current phase.
    void setLook(const MacFleaPreviewLook& look) { look_ = look; }
    const MacFleaPreviewLook& look() const { return look_; }
    double phase() const { return phase_; }
    // One animation step, as the timer takes it.
    void tick();

   protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

   private:
    MacFleaPreviewLook look_;
    double phase_ = 0;
    QTimer timer_;
};

}  // namespace tw
