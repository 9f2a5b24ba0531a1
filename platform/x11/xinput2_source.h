#pragma once
// The desktop's raw key and button presses, read from XInput2 on a connection of our
// own and handed to the hub on the Qt event loop.
#include <QObject>
#include <memory>
#include <string>
#include <variant>

class QSocketNotifier;

namespace tw {

class InputHub;

class XInput2Source final : public QObject {
   public:
    // A running source, or the reason there can be none.
    static std::variant<std::unique_ptr<XInput2Source>, std::string> open(InputHub& hub);
    ~XInput2Source() override;

    // Reads everything that has arrived; the socket notifier calls it.
    void readEvents();

   private:
    struct Connection;
    XInput2Source(InputHub& hub, std::unique_ptr<Connection> connection);

    InputHub& hub_;
    std::unique_ptr<Connection> connection_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tw
