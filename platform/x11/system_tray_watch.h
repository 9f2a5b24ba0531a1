#pragma once
// Whether a system tray runs on the display: the owner of the screen's
// `_NET_SYSTEM_TRAY_S<screen>` selection, followed through XFixes selection events on
// a connection of our own, so a tray that starts after the app, or stops, is noticed
// as it happens.
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <variant>

class QSocketNotifier;

namespace tw {

class SystemTrayWatch final : public QObject {
   public:
    // Called on the Qt event loop with the new answer, once per change.
    using Changed = std::function<void(bool present)>;
    // A running watch, or the reason there can be none.
    static std::variant<std::unique_ptr<SystemTrayWatch>, std::string> open(Changed changed);
    ~SystemTrayWatch() override;

    bool present() const { return present_; }

   private:
    struct Connection;
    SystemTrayWatch(std::unique_ptr<Connection> connection, Changed changed);
    void readEvents();

    std::unique_ptr<Connection> connection_;
    Changed changed_;
    bool present_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tw
