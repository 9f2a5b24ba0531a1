#include "troupe/store/troupe_log_keep.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/log.h"
#include "platform/paths.h"
#include "platform/sha256.h"
#include "platform/uuid.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

fs::path absoluteOf(const fs::path& file) {
    std::error_code error;
    const fs::path absolute = fs::absolute(file, error);
    return (error ? file : absolute).lexically_normal();
}

std::string headerFor(const fs::path& logFile) {
    const nlohmann::json header{{"troupeLog", logFile.string()}};
    return header.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace

TroupeLogKeep::TroupeLogKeep(fs::path folder, const fs::path& logFile)
    : folder_(std::move(folder)),
      logFile_(absoluteOf(logFile)),
      prefix_(sha256Hex(logFile_.string()).substr(0, 16) + "-"),
      header_(headerFor(logFile_)) {}

TroupeLogKeep::~TroupeLogKeep() {
    endOrphans(false);
    if (fd_ >= 0) ::close(fd_);
}

void TroupeLogKeep::keep(std::string_view line) {
    if (fd_ < 0 && !open()) return;
    char newline = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {&newline, 1}};
    ssize_t written;
    while ((written = ::writev(fd_, parts, 2)) < 0 && errno == EINTR) {
    }
    if (written == static_cast<ssize_t>(line.size() + 1)) {
        end_ += line.size() + 1;
        ++lines_;
        return;
    }
    const int error = written < 0 ? errno : ENOSPC;
    if (written > 0) (void)::ftruncate(fd_, static_cast<off_t>(end_));  // a line is kept whole or not at all
    fail(std::strerror(error));
}

// Made under a name no other run reads, then named once locked and naming the log.
bool TroupeLogKeep::open() {
    if (!paths::ensureDirectory(folder_)) return fail("the folder cannot be made");
    ::chmod(folder_.c_str(), 0700);
    const std::string name =
        prefix_ + std::to_string(::getpid()) + "-" + Uuid::random().uuidString().substr(0, 8) + ".jsonl";
    const fs::path making = folder_ / ("." + name);
    const int fd = ::open(making.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return fail(std::strerror(errno));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        ::write(fd, header_.data(), header_.size()) != static_cast<ssize_t>(header_.size()) ||
        ::rename(making.c_str(), (folder_ / name).c_str()) != 0) {
        const int error = errno;
        ::unlink(making.c_str());
        ::close(fd);
        return fail(std::strerror(error));
    }
    fd_ = fd;
    file_ = folder_ / name;
    end_ = header_.size();
    return true;
}

bool TroupeLogKeep::fail(const std::string& why) {
    whole_ = false;
    if (!std::exchange(saidFailure_, true))
        log::system("Cannot keep this run's troupe events on this machine in " + folder_.string() + " (" +
                    why + "); those the troupe log " + logFile_.string() + " does not get are lost");
    return false;
}

void TroupeLogKeep::drop() {
    if (fd_ < 0) return;
    ::unlink(file_.c_str());  // before the lock goes: no other run takes it for an orphan
    ::close(fd_);
    fd_ = -1;
    file_.clear();
    lines_ = 0;
    whole_ = true;
}

const std::vector<TroupeLogKeep::KeptLine>& TroupeLogKeep::takeOrphans() {
    std::error_code error;
    for (auto at = fs::directory_iterator(folder_, error); !error && at != fs::directory_iterator();
         at.increment(error)) {
        const fs::path path = at->path();
        const std::string name = path.filename().string();
        // Not yet named by its run ("." first) is no orphan.
        if (!name.starts_with(prefix_) || !name.ends_with(".jsonl") || path == file_ ||
            left_.contains(path) ||
            std::any_of(orphans_.begin(), orphans_.end(), [&](const Orphan& o) { return o.file == path; }))
            continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        const int openError = errno;
        struct stat info {};
        // Locked: its run lives. Unlinked: another run took it meanwhile.
        if (fd >= 0 &&
            (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &info) != 0 || info.st_nlink == 0)) {
            ::close(fd);
            continue;
        }
        orphans_.push_back(Orphan{path, fd});
        if (fd < 0)
            leave(orphans_.back(), std::strerror(openError));
        else
            readOrphan(orphans_.back());
    }
    return orphanLines_;
}

void TroupeLogKeep::readOrphan(Orphan& orphan) {
    std::string text;
    char buffer[1 << 16];
    for (ssize_t got; (got = ::read(orphan.fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return leave(orphan, std::strerror(errno));
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (!text.starts_with(header_))
        return leave(orphan, "it does not begin by naming the troupe log " + logFile_.string());
    std::size_t number = 1;
    for (std::size_t at = header_.size(), end; at < text.size(); at = end + 1) {
        ++number;
        end = std::min(text.find('\n', at), text.size());
        const std::string_view line = std::string_view(text).substr(at, end - at);
        try {
            if (end == text.size()) throw std::runtime_error("it has no end");
            orphanLines_.push_back(KeptLine{decodeTroupeLogLine(line), std::string(line)});
        } catch (const std::exception& error) {
            if (orphan.whole) leave(orphan, "line " + std::to_string(number) + ": " + error.what());
        }
    }
}

void TroupeLogKeep::leave(Orphan& orphan, const std::string& why) {
    orphan.whole = false;
    left_.insert(orphan.file);
    log::system("Cannot read the troupe events kept in " + orphan.file.string() + " (" + why +
                "); the file is left where it is");
}

void TroupeLogKeep::endOrphans(bool remove) {
    for (Orphan& orphan : orphans_) {
        if (remove && orphan.whole) ::unlink(orphan.file.c_str());  // before its lock goes
        if (orphan.fd >= 0) ::close(orphan.fd);
    }
    orphans_.clear();
    orphanLines_.clear();
}

}  // namespace tw
