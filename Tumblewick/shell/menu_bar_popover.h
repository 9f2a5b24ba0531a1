#pragma once
// The tray item's popover: a small popup holding its own stage view, closed by a
// click anywhere else. The click on the tray icon that closes it must not open it
// again, so it remembers when it closed.
#include <QElapsedTimer>
#include <QWidget>

namespace tw {

class MenuBarPopover final : public QWidget {
   public:
    MenuBarPopover();
    // Takes the view; it fills the popover.
    void setContentView(QWidget* view);
    // Whether this moment is still the click that just closed the popover.
    bool justClosed() const;

   protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

   private:
    QElapsedTimer closedAt_;
};

}  // namespace tw
