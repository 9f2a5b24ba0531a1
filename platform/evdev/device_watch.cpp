#include "platform/evdev/device_watch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>

#include "platform/evdev/evdev_source.h"
#include "platform/log.h"

namespace tw {
namespace {

bool isEventNode(const std::string& name) { return name.rfind("event", 0) == 0; }

}  // namespace

std::variant<std::unique_ptr<InputDeviceWatch>, std::string> InputDeviceWatch::open(
    EvdevSource& source, const std::filesystem::path& folder, Probe probe) {
    std::unique_ptr<InputDeviceWatch> watch(new InputDeviceWatch(source, folder, std::move(probe)));
    std::error_code error;
    int devices = 0;
    int keyboards = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const auto name = it->path().filename().string();
        if (!isEventNode(name)) continue;
        if (const auto opened = watch->tryOpen(name)) {
            ++devices;
            keyboards += opened->keyboard ? 1 : 0;
        }
    }
    if (keyboards == 0) return "no keyboard under " + folder.string() + " can be read";
    log::info("Keys and clicks anywhere are read from " + std::to_string(devices) + " input devices under " +
              folder.string() + ".");
    watch->startWatching();
    return watch;
}

InputDeviceWatch::InputDeviceWatch(EvdevSource& source, std::filesystem::path folder, Probe probe)
    : source_(source), folder_(std::move(folder)), probe_(std::move(probe)) {}

InputDeviceWatch::~InputDeviceWatch() {
    if (notifier_ != nullptr) notifier_->setEnabled(false);
    if (inotify_ >= 0) ::close(inotify_);
}

std::optional<InputDeviceTraits> InputDeviceWatch::tryOpen(const std::string& name) {
    if (opened_.contains(name)) return std::nullopt;
    // Most nodes are not ours to read: that is no news.
    const int fd = ::open((folder_ / name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const auto traits = probe_(fd);
    if (!traits || !(traits->keyboard || traits->pointer)) {
        ::close(fd);
        return std::nullopt;
    }
    opened_.insert(name);
    source_.addDevice(fd, traits->name);
    return traits;
}

void InputDeviceWatch::startWatching() {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // Nodes appear (IN_CREATE) and are made readable by the device manager (IN_ATTRIB).
    if (inotify_ < 0 || inotify_add_watch(inotify_, folder_.c_str(), IN_CREATE | IN_ATTRIB | IN_DELETE) < 0) {
        log::warning("Input devices plugged in later will not be read (" + std::string(std::strerror(errno)) +
                     ").");
        return;
    }
    notifier_ = new QSocketNotifier(inotify_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readChanges(); });
}

void InputDeviceWatch::readChanges() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0) continue;
            const std::string name(event->name);
            if (!isEventNode(name)) continue;
            if ((event->mask & IN_DELETE) != 0) {
                opened_.erase(name);
            } else if (const auto opened = tryOpen(name)) {
                log::info("Reading the input device \"" + opened->name + "\" too.");
            }
        }
    }
}

}  // namespace tw
