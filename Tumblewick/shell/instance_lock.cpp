#include "Tumblewick/shell/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/log.h"
#include "platform/paths.h"

namespace tw {

InstanceLock InstanceLock::acquire(const std::filesystem::path& dataDirectory) {
    const std::filesystem::path file = dataDirectory / fileName;
    // Close-on-exec: a program we start must not keep the circus locked after we end.
    const int fd = paths::ensureDirectory(dataDirectory)
                       ? ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)
                       : -1;
    if (fd < 0) {
        log::warning("Cannot open " + file.string() + " (" + std::strerror(errno) +
                     "): a second Tumblewick on this data folder will not be stopped.");
        return InstanceLock(State::unavailable, -1);
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return InstanceLock(State::held, fd);
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return InstanceLock(State::heldElsewhere, -1);
    log::warning("Cannot lock " + file.string() + " (" + std::strerror(error) +
                 "): a second Tumblewick on this data folder will not be stopped.");
    return InstanceLock(State::unavailable, -1);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : state_(other.state_), fd_(std::exchange(other.fd_, -1)) {}

InstanceLock::~InstanceLock() { release(); }

void InstanceLock::release() {
    // The file stays: removing it would let two processes lock two different files.
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

}  // namespace tw
