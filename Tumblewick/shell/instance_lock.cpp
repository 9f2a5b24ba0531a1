#include "Tumblewick/shell/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <system_error>
#include <utility>

#include "platform/log.h"
#include "platform/paths.h"
#include "platform/sha256.h"

namespace tw {

namespace {

enum class Outcome { held, heldElsewhere, unavailable };

struct Attempt {
    Outcome outcome;
    int fd = -1;
    std::string problem;  // why it is unavailable
};

std::string reason(int error) { return std::strerror(error); }

// An abstract name: a leading NUL, then the name's bytes, and no terminator.
struct AbstractAddress {
    explicit AbstractAddress(const std::string& name)
        : length(static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) {
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());
    }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
    sockaddr_un address{};
    socklen_t length;
};

// Whose process holds the name: abstract names carry no permissions, so anyone's
// process could sit on ours. Asked without waiting: a holder that accepts nothing still
// takes the connection into its backlog, one that does not listen refuses it, and one
// whose backlog is full would make a blocking connect wait.
Attempt askHolder(const std::string& name, uid_t ownUser) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return {Outcome::unavailable, -1, "no socket (" + reason(errno) + ")"};
    const AbstractAddress address(name);
    int result = 0;
    do {
        result = ::connect(fd, address.get(), address.length);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        return {Outcome::unavailable, -1,
                "its socket name is taken by a process that does not answer (" + reason(error) + ")"};
    }
    ucred holder{};
    socklen_t size = sizeof holder;
    const bool known = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &holder, &size) == 0;
    ::close(fd);
    if (known && holder.uid == ownUser) return {Outcome::heldElsewhere, -1, {}};
    if (!known) return {Outcome::unavailable, -1, "its socket name is taken by a process of unknown owner"};
    return {Outcome::unavailable, -1,
            "its socket name is taken by a process of another user (uid " + std::to_string(holder.uid) + ")"};
}

// An abstract name goes with its socket however the process ends, and is seen by every
// process in the network namespace: all the desktop sessions of this machine.
Attempt lockSocket(const std::filesystem::path& dataDirectory, uid_t ownUser) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {Outcome::unavailable, -1, "no socket (" + reason(errno) + ")"};
    const std::string name = InstanceLock::socketName(dataDirectory);
    const AbstractAddress address(name);
    if (::bind(fd, address.get(), address.length) == 0) {
        // Listening lets the next launch ask whose it is. Nothing is accepted, so each
        // question stays in the backlog: leave room for many.
        if (::listen(fd, SOMAXCONN) == 0) return {Outcome::held, fd, {}};
        const int error = errno;
        ::close(fd);
        return {Outcome::unavailable, -1, "no socket (" + reason(error) + ")"};
    }
    const int error = errno;
    ::close(fd);
    if (error == EADDRINUSE) return askHolder(name, ownUser);
    return {Outcome::unavailable, -1, "no socket (" + reason(error) + ")"};
}

Attempt lockFile(const std::filesystem::path& dataDirectory) {
    const std::filesystem::path file = dataDirectory / InstanceLock::fileName;
    if (!paths::ensureDirectory(dataDirectory))
        return {Outcome::unavailable, -1, "cannot create " + dataDirectory.string()};
    // Close-on-exec: a program we start must not keep the circus locked after we end.
    // Whatever else sits at the path (a link, a directory, a FIFO) is not ours to lock.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return {Outcome::unavailable, -1, "cannot open " + file.string() + " (" + reason(errno) + ")"};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return {Outcome::unavailable, -1, file.string() + " is not a regular file"};
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return {Outcome::held, fd, {}};
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return {Outcome::heldElsewhere, -1, {}};
    return {Outcome::unavailable, -1, "cannot lock " + file.string() + " (" + reason(error) + ")"};
}

}  // namespace

std::string InstanceLock::socketName(const std::filesystem::path& dataDirectory) {
    std::error_code error;
    std::filesystem::path real = std::filesystem::weakly_canonical(dataDirectory, error);
    if (error) real = std::filesystem::absolute(dataDirectory, error).lexically_normal();
    // Hashed: a real path may be longer than a socket name can be.
    return "tumblewick/instance/" + sha256Hex(real.string());
}

InstanceLock InstanceLock::acquire(const std::filesystem::path& dataDirectory, uid_t ownUser) {
    Attempt socket = lockSocket(dataDirectory, ownUser);
    if (socket.outcome == Outcome::heldElsewhere) return InstanceLock(State::heldElsewhere, -1, -1);
    Attempt file = lockFile(dataDirectory);
    if (file.outcome == Outcome::heldElsewhere) {
        if (socket.fd >= 0) ::close(socket.fd);
        return InstanceLock(State::heldElsewhere, -1, -1);
    }
    if (socket.fd < 0 && file.fd < 0) {
        log::warning("Cannot lock the data folder: " + file.problem + "; " + socket.problem +
                     ". A second Tumblewick on this data folder will not be stopped.");
        return InstanceLock(State::unavailable, -1, -1);
    }
    if (file.fd < 0) log::warning("The instance lock goes on without its file: " + file.problem + ".");
    if (socket.fd < 0) log::warning("The instance lock goes on without its socket: " + socket.problem + ".");
    return InstanceLock(State::held, file.fd, socket.fd);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : state_(other.state_),
      fileFd_(std::exchange(other.fileFd_, -1)),
      socketFd_(std::exchange(other.socketFd_, -1)) {}

InstanceLock::~InstanceLock() { release(); }

void InstanceLock::release() {
    // The file stays: removing it would let two processes lock two different files.
    if (fileFd_ >= 0) ::close(std::exchange(fileFd_, -1));
    if (socketFd_ >= 0) ::close(std::exchange(socketFd_, -1));
}

}  // namespace tw
