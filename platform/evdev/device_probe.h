#pragma once
// What an input device node offers, asked through libevdev.
#include <optional>
#include <string>

namespace tw {

struct InputDeviceTraits {
    std::string name;
    bool keyboard = false;  // has letter keys
    bool pointer = false;   // moves a pointer or has a left button
};

// Nothing for a descriptor that is no input device. The device is also told to stamp
// its records with the monotonic clock, the clock X servers stamp theirs with.
std::optional<InputDeviceTraits> probeInputDevice(int fd);

}  // namespace tw
