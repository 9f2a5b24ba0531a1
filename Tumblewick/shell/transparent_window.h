#pragma once
// The strip: a borderless, translucent window above the user's work on every
// workspace, without a shadow or taskbar entry, that never takes the keyboard focus,
// and above our own floating panels. It holds the stage view and the close button.
// Closing it from the window manager ends the app as the close button does.
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "Tumblewick/shell/strip_geometry.h"
#include "Tumblewick/shell/strip_stacking.h"

namespace tw {

class TransparentWindow final : public QWidget {
   public:
    explicit TransparentWindow(const StripGeometry& geometry);

    // Puts the stage view in the window, full size, below the close button.
    void setContentView(QWidget* view);
    QPushButton& closeButton() { return *closeButton_; }
    // A plain left click quits; a right click or a Control-left click opens the menu.
    // `quit` also answers a close request from the window manager.
    void onCloseButton(std::function<void()> quit, std::function<void(QWidget& anchor)> showMenu);
    // Shows the window without activating it, with its desktop hints.
    void orderFront();

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

   private:
    QPushButton* closeButton_;
    std::function<void()> quit_;
    std::function<void(QWidget&)> showMenu_;
    StripStacking stacking_{*this};
};

}  // namespace tw
