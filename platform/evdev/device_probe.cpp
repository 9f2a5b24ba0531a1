#include "platform/evdev/device_probe.h"

#include <libevdev/libevdev.h>

#include <ctime>

namespace tw {

std::optional<InputDeviceTraits> probeInputDevice(int fd) {
    libevdev* device = nullptr;
    if (libevdev_new_from_fd(fd, &device) < 0) return std::nullopt;
    InputDeviceTraits traits;
    const char* name = libevdev_get_name(device);
    traits.name = name != nullptr ? name : "";
    traits.keyboard = libevdev_has_event_code(device, EV_KEY, KEY_A) != 0 &&
                      libevdev_has_event_code(device, EV_KEY, KEY_SPACE) != 0;
    traits.pointer = (libevdev_has_event_code(device, EV_REL, REL_X) != 0 &&
                      libevdev_has_event_code(device, EV_REL, REL_Y) != 0) ||
                     libevdev_has_event_code(device, EV_KEY, BTN_LEFT) != 0;
    if (traits.keyboard || traits.pointer) libevdev_set_clock_id(device, CLOCK_MONOTONIC);
    libevdev_free(device);  // the descriptor stays open
    return traits;
}

}  // namespace tw
