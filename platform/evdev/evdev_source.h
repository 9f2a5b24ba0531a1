#pragma once
// The desktop's key presses, clicks and pointer motion read straight from input
// devices (evdev records), for sessions whose display server shows us none of it.
// Reads any descriptor that carries the records: a device node, or a pipe in tests.
// Only counts and the hotkey table come of it; no key is stored or logged.
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/raw_input_sink.h"

struct input_event;

namespace tw {

class EvdevSource final : public QObject {
   public:
    // The desktop's area (top-left origin) that the pointer cannot leave.
    using ScreenArea = std::function<Rect()>;
    EvdevSource(RawInputSink& sink, ScreenArea screen, Point pointerStart);
    ~EvdevSource() override;

    // Reads `fd` (non-blocking; owned from now on) whenever it has records, until it
    // ends or its device goes away.
    void addDevice(int fd, std::string name);
    std::size_t deviceCount() const { return devices_.size(); }

   private:
    struct Device;
    void read(Device& device);
    void handle(Device& device, const input_event& event);
    void movePointer(double dx, double dy);
    // Keys it held are released: no modifier stays down for a device that is gone.
    void releaseHeldKeys(Device& device);
    void remove(Device& device);

    RawInputSink& sink_;
    ScreenArea screen_;
    Point pointer_;
    bool pointerMoved_ = false;
    std::vector<std::unique_ptr<Device>> devices_;
};

}  // namespace tw
