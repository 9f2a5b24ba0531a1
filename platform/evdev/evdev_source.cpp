#include "platform/evdev/evdev_source.h"

#include <linux/input.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>

#include "platform/log.h"

namespace tw {
namespace {

// X key codes are evdev codes + 8 and stop at 255: keys beyond reach no X client
// either, so they do not count here.
constexpr std::uint32_t kXKeycodeOffset = 8;
constexpr int kLastKey = 255 - kXKeycodeOffset;

std::optional<int> xButton(int code) {
    switch (code) {
        case BTN_LEFT:
            return 1;
        case BTN_MIDDLE:
            return 2;
        case BTN_RIGHT:
            return 3;
        default:
            return std::nullopt;
    }
}

std::uint64_t milliseconds(const input_event& event) {
    return static_cast<std::uint64_t>(event.input_event_sec) * 1000 +
           static_cast<std::uint64_t>(event.input_event_usec) / 1000;
}

double clampedTo(double value, double low, double length) {
    return std::max(low, std::min(value, low + std::max(length - 1, 0.0)));
}

}  // namespace

struct EvdevSource::Device {
    int fd = -1;
    std::string name;
    QSocketNotifier* notifier = nullptr;
    std::set<std::uint16_t> heldKeys;
    bool dropping = false;  // records were lost: skip to the end of the frame
    // Records arrive whole from a device; a pipe may split one.
    std::array<input_event, 64> buffer{};
    std::size_t partialBytes = 0;
};

EvdevSource::EvdevSource(RawInputSink& sink, ScreenArea screen, Point pointerStart)
    : sink_(sink), screen_(std::move(screen)), pointer_(pointerStart) {
    movePointer(0, 0);  // within the screen; said to the sink with the first motion
}

EvdevSource::~EvdevSource() {
    for (auto& device : devices_) {
        device->notifier->setEnabled(false);
        ::close(device->fd);
    }
}

void EvdevSource::addDevice(int fd, std::string name) {
    auto device = std::make_unique<Device>();
    device->fd = fd;
    device->name = std::move(name);
    device->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(device->notifier, &QSocketNotifier::activated, this, [this, raw = device.get()] { read(*raw); });
    devices_.push_back(std::move(device));
}

void EvdevSource::read(Device& device) {
    auto* bytes = reinterpret_cast<char*>(device.buffer.data());
    for (;;) {
        const ssize_t got =
            ::read(device.fd, bytes + device.partialBytes, sizeof device.buffer - device.partialBytes);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (got <= 0) {
            // End of file, or ENODEV: the device was unplugged.
            const std::string why = got == 0 ? "it closed" : std::strerror(errno);
            log::info("Stopped reading input device \"" + device.name + "\" (" + why + ").");
            remove(device);
            return;
        }
        const std::size_t total = device.partialBytes + static_cast<std::size_t>(got);
        const std::size_t whole = total / sizeof(input_event);
        for (std::size_t i = 0; i < whole; ++i) handle(device, device.buffer[i]);
        device.partialBytes = total % sizeof(input_event);
        std::memmove(bytes, bytes + whole * sizeof(input_event), device.partialBytes);
    }
}

void EvdevSource::handle(Device& device, const input_event& event) {
    if (event.type == EV_SYN && event.code == SYN_DROPPED) {
        log::warning("Input records from \"" + device.name +
                     "\" were lost; keys held on it count as released.");
        releaseHeldKeys(device);
        device.dropping = true;
        return;
    }
    if (device.dropping) {
        device.dropping = !(event.type == EV_SYN && event.code == SYN_REPORT);
        return;
    }
    switch (event.type) {
        case EV_SYN:
            if (event.code == SYN_REPORT && pointerMoved_) {
                pointerMoved_ = false;
                sink_.globalPointerAt(pointer_);
            }
            break;
        case EV_KEY:
            if (event.code > 0 && event.code <= kLastKey) {
                // 1 press, 2 auto-repeat, 0 release.
                if (event.value == 0) {
                    device.heldKeys.erase(event.code);
                } else {
                    device.heldKeys.insert(event.code);
                }
                sink_.globalKey(event.code + kXKeycodeOffset, 0, event.value != 0, event.value == 2,
                                milliseconds(event));
            } else if (const auto button = xButton(event.code); button && event.value == 1) {
                const Rect area = screen_();
                sink_.globalButton(*button, pointer_, area.y + area.height, milliseconds(event));
            }
            break;
        case EV_REL:
            // The wheel is neither motion nor a click.
            if (event.code == REL_X || event.code == REL_Y) {
                movePointer(event.code == REL_X ? event.value : 0, event.code == REL_Y ? event.value : 0);
                pointerMoved_ = true;  // reported once per frame
            }
            break;
        default:
            break;
    }
}

void EvdevSource::movePointer(double dx, double dy) {
    const Rect area = screen_();
    pointer_ = {clampedTo(pointer_.x + dx, area.x, area.width),
                clampedTo(pointer_.y + dy, area.y, area.height)};
}

void EvdevSource::releaseHeldKeys(Device& device) {
    for (const auto code : device.heldKeys) sink_.globalKey(code + kXKeycodeOffset, 0, false, false, 0);
    device.heldKeys.clear();
}

void EvdevSource::remove(Device& device) {
    releaseHeldKeys(device);
    // Not deleted here: its own signal is being delivered.
    device.notifier->disconnect(this);
    device.notifier->setEnabled(false);
    device.notifier->deleteLater();
    ::close(device.fd);
    std::erase_if(devices_, [&](const auto& d) { return d.get() == &device; });
}

}  // namespace tw
