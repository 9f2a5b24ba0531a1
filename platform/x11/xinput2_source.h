#pragma once
// The desktop's raw key and button presses, read from XInput2 on a connection of our
// own and handed to the hub on the Qt event loop; and the hotkey grabs on that
// connection, kept up with the keyboard's mapping and with other programs' grabs.
#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <variant>

#include "platform/x11/hotkey_grabs.h"

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
    // Returns true when the keyboard's mapping changed among what was read.
    bool drainEvents();
    // Asks for the hotkeys again later while another program holds one, less soon after
    // each round that found it still held.
    void retryGrabsLater();
    void keyUnderGrab(unsigned int keycode, unsigned long time, bool pressed);

    struct RawPress {
        unsigned int keycode = 0;
        unsigned long time = 0;
        friend bool operator==(const RawPress&, const RawPress&) = default;
    };

    InputHub& hub_;
    std::unique_ptr<Connection> connection_;
    QSocketNotifier* notifier_ = nullptr;
    // Runs while another program holds one of our hotkeys, or a changed mapping's round is to come.
    QTimer grabRetry_;
    GrabRetries retries_;
    RawPress lastRawPress_;  // the last key press that came raw
};

}  // namespace tw
