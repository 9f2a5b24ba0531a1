#pragma once
// The process-wide input hub on the Qt event loop: presses of the whole desktop plus
// our own windows' events. The desktop's come from XInput2 in an X11 session and from
// the input devices (evdev) in a Wayland session, where XWayland shows us only X
// clients' input. Without either it says so once and runs on our own windows' input.
#include <QObject>
#include <memory>

#include "platform/input_monitor.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/x11/input_hub.h"

namespace tw {

class EvdevSource;
class InputDeviceWatch;
class LocalInputFilter;
class XInput2Source;

class DesktopInput final : public QObject {
   public:
    // Created on first use (a QGuiApplication must exist); gone with the application.
    static DesktopInput& shared();

    InputMonitor& monitor() { return hub_; }
    bool globalInputAvailable() const { return hub_.globalInputAvailable(); }
    // For tests and benchmarks that feed synthetic presses.
    InputHub& hub() { return hub_; }

   private:
    DesktopInput();
    ~DesktopInput() override;
    void startXInput2();
    void startEvdev();

    QtMainQueue queue_;
    InputHub hub_;
    LocalInputFilter* filter_ = nullptr;
    std::unique_ptr<XInput2Source> source_;
    std::unique_ptr<EvdevSource> evdev_;
    std::unique_ptr<InputDeviceWatch> devices_;
};

}  // namespace tw
