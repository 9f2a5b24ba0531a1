#include "platform/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <utility>

namespace tw::atomic_file {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int error) { return std::strerror(error); }

struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

std::string mebibytes(std::uint64_t bytes) { return std::to_string(bytes / (1024 * 1024)) + " MiB"; }

}  // namespace

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)),
      status(other.status),
      size(other.size),
      allocated(other.allocated),
      why(std::move(other.why)) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) ::close(fd);
        fd = std::exchange(other.fd, -1);
        status = other.status;
        size = other.size;
        allocated = other.allocated;
        why = std::move(other.why);
    }
    return *this;
}

OpenedFile::~OpenedFile() {
    if (fd >= 0) ::close(fd);
}

namespace {

// Why `file` cannot be looked at or opened, from the errno of the failed call.
OpenedFile refusedFor(const fs::path& file, int error) {
    OpenedFile refused;
    struct stat link {};
    if (error == ENOENT && ::lstat(file.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        refused.status = ReadStatus::notAFile;
        refused.why = "a link to nothing";
    } else if (error == ENOENT) {
        refused.status = ReadStatus::missing;
    } else {
        refused.why = errnoText(error);
    }
    return refused;
}

OpenedFile notRegular(const struct stat& info) {
    OpenedFile refused;
    refused.status = ReadStatus::notAFile;
    refused.why = S_ISDIR(info.st_mode) ? "a directory" : "a special file";
    return refused;
}

// One look at the name, then one open, then a check that the open found what was looked at.
SeenOpening lookThenOpen(const fs::path& file, int flags) {
    SeenOpening seen;
    // Looked at before it is opened: opening some devices does something (a tape
    // rewinds, a watchdog starts), whatever the flags.
    if (::stat(file.c_str(), &seen.info) != 0) {
        seen.error = errno;
        return seen;
    }
    if (!S_ISREG(seen.info.st_mode)) {
        seen.outcome = SeenOpening::notRegular;
        return seen;
    }
    const FileIdentity expected = FileIdentity::of(seen.info);
    // O_NONBLOCK: should a FIFO take the file's place after the stat, the open must not
    // wait for a writer.
    Descriptor owner(::open(file.c_str(), flags | O_NONBLOCK | O_NOCTTY));
    if (owner.fd < 0 || ::fstat(owner.fd, &seen.info) != 0) {
        seen.error = errno;
        return seen;
    }
    if (FileIdentity::of(seen.info) != expected) {
        seen.outcome = SeenOpening::swapped;
        return seen;
    }
    seen.outcome = SeenOpening::opened;
    seen.fd = std::exchange(owner.fd, -1);
    return seen;
}

}  // namespace

SeenOpening openSeenRegular(const fs::path& file, int flags) {
    // A file renamed over the name between the look and the open is how every writer here
    // (and most elsewhere) publishes a new version: that one is looked at in turn. Only a
    // name that keeps changing under us is refused.
    constexpr int looks = 4;
    SeenOpening seen;
    for (int look = 0; look < looks; ++look) {
        seen = lookThenOpen(file, flags);
        if (seen.outcome != SeenOpening::swapped) break;
    }
    return seen;
}

OpenedFile openRegular(const fs::path& file) {
    SeenOpening seen = openSeenRegular(file, O_RDONLY | O_CLOEXEC);
    switch (seen.outcome) {
        case SeenOpening::notRegular:
            return notRegular(seen.info);
        case SeenOpening::swapped: {
            OpenedFile refused;
            refused.status = ReadStatus::notAFile;
            refused.why = "a file that was swapped for another while it was opened";
            return refused;
        }
        case SeenOpening::failed:
            return refusedFor(file, seen.error);
        case SeenOpening::opened:
            break;
    }
    OpenedFile opened;
    opened.fd = seen.fd;
    opened.status = ReadStatus::ok;
    opened.size = static_cast<std::uint64_t>(seen.info.st_size);
    opened.allocated = static_cast<std::uint64_t>(seen.info.st_blocks) * 512;
    return opened;
}

ReadResult read(const fs::path& file, std::uint64_t maxBytes) {
    ReadResult result;
    OpenedFile opened = openRegular(file);
    if (opened.status != ReadStatus::ok) {
        result.status = opened.status;
        result.why = std::move(opened.why);
        return result;
    }
    result.size = opened.size;
    if (result.size > maxBytes) {
        result.status = ReadStatus::tooLarge;
        return result;
    }
    result.text.reserve(result.size);
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(opened.fd, buffer, sizeof buffer);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            result.why = errnoText(errno);
            result.text.clear();
            return result;
        }
        // The file may grow while it is read; the limit holds all the same.
        if (result.text.size() + static_cast<std::size_t>(count) > maxBytes) {
            result.status = ReadStatus::tooLarge;
            result.size = result.text.size() + static_cast<std::size_t>(count);
            result.text.clear();
            return result;
        }
        result.text.append(buffer, static_cast<std::size_t>(count));
    }
    result.size = result.text.size();
    result.status = ReadStatus::ok;
    return result;
}

std::string describe(const ReadResult& result, std::uint64_t maxBytes) {
    switch (result.status) {
        case ReadStatus::ok:
            return "was read";
        case ReadStatus::missing:
            return "does not exist";
        case ReadStatus::notAFile:
            return "is " + result.why + ", not a regular file";
        case ReadStatus::tooLarge:
            return "is " + mebibytes(result.size) + ", over the " + mebibytes(maxBytes) + " limit";
        case ReadStatus::failed:
            break;
    }
    return "cannot be read (" + result.why + ")";
}

std::optional<std::string> notForReplacing(const fs::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return file.string() + " cannot be looked at: " + errnoText(errno);
    }
    if (S_ISREG(info.st_mode)) return std::nullopt;
    if (S_ISLNK(info.st_mode) && ::stat(file.c_str(), &info) != 0)
        return file.string() + " is a link that cannot be followed: " + errnoText(errno);
    if (S_ISREG(info.st_mode)) return std::nullopt;
    return file.string() + " is " + (S_ISDIR(info.st_mode) ? "a directory" : "a special file") +
           ", not a regular file; it is left as it is";
}

fs::path tempPath(const fs::path& file) {
    // Unique per write within the process too: two stores may share one file.
    static std::atomic<unsigned> counter{0};
    return file.string() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

std::optional<pid_t> tempWriter(const fs::path& file, const fs::path& candidate) {
    const std::string prefix = file.filename().string() + ".tmp-";
    const std::string name = candidate.filename().string();
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    const char* begin = name.data() + prefix.size();
    const char* end = name.data() + name.size();
    pid_t pid = 0;
    auto [stop, error] = std::from_chars(begin, end, pid);
    if (error != std::errc{} || stop == begin || pid <= 0) return std::nullopt;
    if (stop != end) {
        // "-<n>" after the pid, digits only.
        if (*stop != '-' || stop + 1 == end) return std::nullopt;
        for (const char* c = stop + 1; c != end; ++c) {
            if (*c < '0' || *c > '9') return std::nullopt;
        }
    }
    return pid;
}

bool processIsRunning(pid_t pid) {
    // EPERM: it runs under another user, which still counts as running.
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

void removeStaleTemps(const fs::path& file) {
    std::error_code error;
    for (fs::directory_iterator it(folderOf(file), error), end; !error && it != end; it.increment(error)) {
        const auto writer = tempWriter(file, it->path());
        if (!writer || processIsRunning(*writer)) continue;
        std::error_code ignored;
        if (fs::is_regular_file(it->symlink_status(ignored))) fs::remove(it->path(), ignored);
    }
}

std::optional<fs::path> linkTarget(const fs::path& file, std::string& error) {
    fs::path at = file;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0) {
            // Missing at the end of a chain: a file set aside through the link is made again there.
            if (errno == ENOENT) return at;
            error = "cannot follow " + file.string() + " to " + at.string() + ": " + errnoText(errno);
            return std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) {
            if (hops == 0 || S_ISREG(info.st_mode)) return at;
            error = file.string() + " is a link to " + at.string() + ", which is not a regular file";
            return std::nullopt;
        }
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t length = ::readlink(at.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
            error = "cannot read the link " + at.string() + (length < 0 ? ": " + errnoText(errno) : "");
            return std::nullopt;
        }
        target.resize(static_cast<std::size_t>(length));
        // Not normalised: ".." after a linked folder is the kernel's to resolve, as in any open.
        at = !target.empty() && target.front() == '/' ? fs::path(target) : at.parent_path() / target;
    }
    error = file.string() + " is a loop of links";
    return std::nullopt;
}

bool replace(const fs::path& requested, std::string_view bytes, bool durable, std::string& error,
             Links links) {
    fs::path file = requested;
    std::optional<mode_t> mode;  // the replaced file's permissions, kept when writing through a link
    if (links == Links::follow) {
        auto target = linkTarget(requested, error);
        if (!target) return false;
        struct stat info {};
        if (*target != requested && ::stat(target->c_str(), &info) == 0) mode = info.st_mode & 07777;
        file = std::move(*target);
    }
    const fs::path temp = tempPath(file);
    Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd.fd < 0) {
        error = "cannot create " + temp.string() + ": " + errnoText(errno);
        return false;
    }
    if ((mode && ::fchmod(fd.fd, *mode) != 0) || !writeAll(fd.fd, bytes) ||
        (durable && ::fsync(fd.fd) != 0)) {
        error = "cannot write " + temp.string() + ": " + errnoText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        error = "cannot replace " + file.string() + ": " + errnoText(errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (durable) {
        // The rename itself must survive a crash too.
        Descriptor folder(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.fd >= 0) ::fsync(folder.fd);
    }
    return true;
}

std::optional<fs::path> moveAside(const fs::path& file, std::string& error) {
    const auto unixSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    const std::string base = file.string() + ".corrupt-" + std::to_string(unixSeconds);
    std::string target = base;
    std::error_code ec;
    for (int n = 1; fs::exists(target, ec) && n < 1000; ++n) target = base + "-" + std::to_string(n);
    fs::rename(file, target, ec);
    if (ec) {
        error = ec.message();
        return std::nullopt;
    }
    return fs::path(target);
}

Lock::Lock(const fs::path& path, bool create) {
    // O_NONBLOCK: a FIFO planted at the path must not stop the open. flock works on a FIFO
    // as on a file, so one planted there is locked and serves as the lock.
    const int flags = (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) {
        error_ = "cannot open " + path.string() + ": " + errnoText(errno);
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        error_ = "cannot lock " + path.string() + ": " + errnoText(errno);
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

Lock::~Lock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace tw::atomic_file
