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
    QWidget& strip_;
    bool raisePending_ = false;
};

}  // namespace tw
