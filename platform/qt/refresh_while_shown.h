#pragma once
// A window's refresh, run on a timer while the user can see the window: shown and not
// minimised, whoever showed it (our own code, the window manager, a taskbar, a pager).
// The window's own show, hide and state events say so; a window that comes on screen is
// refreshed at once, so a restored window never shows what it held when it went.
#include <QObject>
#include <QTimer>
#include <functional>

class QWidget;

namespace tw {

class RefreshWhileShown final : public QObject {
   public:
    // Follows `window`, which must outlive this; `refresh` runs on the main thread.
    RefreshWhileShown(QWidget& window, int periodMilliseconds, std::function<void()> refresh);

    // Whether the refreshes run: the window is on screen.
    bool running() const { return timer_.isActive(); }
    const QTimer& timer() const { return timer_; }

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    QWidget& window_;
    QTimer timer_;
    std::function<void()> refresh_;
};

}  // namespace tw
