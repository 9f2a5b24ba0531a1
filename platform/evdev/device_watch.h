#pragma once
// Finds the keyboards and pointers under /dev/input that this user may read, hands
// them to the evdev source, and watches the folder (inotify) for devices plugged in
// or made readable later.
#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <variant>

#include "platform/evdev/device_probe.h"

class QSocketNotifier;

namespace tw {

class EvdevSource;

class InputDeviceWatch final : public QObject {
   public:
    // What a node offers; tests stand in for the devices' answers.
    using Probe = std::function<std::optional<InputDeviceTraits>(int fd)>;
    // A watch once at least one keyboard can be read; otherwise why none can.
    static std::variant<std::unique_ptr<InputDeviceWatch>, std::string> open(
        EvdevSource& source, const std::filesystem::path& folder = "/dev/input",
        Probe probe = probeInputDevice);
    ~InputDeviceWatch() override;

   private:
    InputDeviceWatch(EvdevSource& source, std::filesystem::path folder, Probe probe);
    // Hands the node to the source when it is a keyboard or pointer this user may read.
    std::optional<InputDeviceTraits> tryOpen(const std::string& name);
    void startWatching();
    void readChanges();

    EvdevSource& source_;
    std::filesystem::path folder_;
    Probe probe_;
    std::set<std::string> opened_;  // node names, so a node is read once
    int inotify_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tw
