#pragma once
// The process-wide input hub on the Qt event loop: raw XInput2 presses of the whole
// desktop plus our own windows' events. Without XInput2 (Wayland, no X display) it
// says so once and runs on our own windows' input only.
#include <QObject>
#include <memory>

#include "platform/input_monitor.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/x11/input_hub.h"

namespace tw {

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

    QtMainQueue queue_;
    InputHub hub_;
    LocalInputFilter* filter_ = nullptr;
    std::unique_ptr<XInput2Source> source_;
};

}  // namespace tw
