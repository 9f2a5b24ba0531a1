#pragma once
// Keeps the strip above our own floating panels. They share its layer (above other
// applications' windows), where the window manager puts whichever came up or was
// clicked last on top: the dialogue inspector would cover the strip's close button.
// After each of our other windows is shown, activated or pressed, the strip is raised
// again. Menus and full-screen windows are left above it.
#include <QObject>

class QWidget;

namespace tw {

class StripStacking final : public QObject {
   public:
    // Watches the whole application while it lives; `strip` must outlive it.
    explicit StripStacking(QWidget& strip);
    ~StripStacking() override;

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    void raiseStrip();

    QWidget& strip_;
    bool raisePending_ = false;
    int tries_ = 0;  // left to go above a window the window manager has yet to stack
};

}  // namespace tw
