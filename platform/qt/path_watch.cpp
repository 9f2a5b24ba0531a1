#include "platform/qt/path_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>

#include "platform/log.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// IN_MODIFY is left out: a slow writer would be read half-written on every write.
constexpr std::uint32_t kWatched = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE |
                                   IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFileChanged = IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_ATTRIB;
// The watched folder itself went (or moved, and no longer leads to the path).
constexpr std::uint32_t kFolderGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;
// Seen from the folder above: a folder that something holds open is not reported gone
// to its own watch until it is closed.
constexpr std::uint32_t kFolderReplaced = IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

// Whether what was just made at the path is a regular file still open for writing:
// one made by open(2) is looked at when its writer closes it, while one given its name
// by a link (ln, cp -l, an O_TMPFILE's linkat) and anything not a regular file (a
// symbolic link, most of all) are whole when made. A read lease is granted only while
// no one holds the file open for writing.
bool stillBeingWritten(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;  // gone again: the reader says what it finds
    bool writing = false;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // A writer opening it while the lease is held breaks it with a signal: one whose
        // default is to be ignored, not SIGIO's, which ends the process.
        ::fcntl(fd, F_SETSIG, SIGWINCH);
        if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
            ::fcntl(fd, F_SETLEASE, F_UNLCK);
        } else {
            // Where no lease can be had (another user's file, a file system without
            // leases), a file that has another name was whole before it got this one.
            writing = errno == EAGAIN || info.st_nlink < 2;
        }
    }
    ::close(fd);
    return writing;
}

}  // namespace

PathWatch::PathWatch(std::function<void()> changed, PathWatchOptions options)
    : changed_(std::move(changed)), options_(options) {
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] {
        arm();
        changed_();
    });
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return;  // said when something is to be watched
    notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
}

PathWatch::~PathWatch() {
    notifier_.reset();
    if (inotify_ >= 0) ::close(inotify_);
}

void PathWatch::watch(const fs::path& path) {
    if (path == path_) return;
    path_ = path;
    arm();
}

void PathWatch::arm() {
    // A folder on the way made while the watch moved up past it told no one: once set,
    // the watch goes down again to it. A few times at most, should folders keep coming.
    for (int tries = 0; tries < 8 && setWatches(); ++tries) {
    }
}

bool PathWatch::setWatches() {
    for (int* watch : {&watch_, &folderWatch_}) {
        if (*watch >= 0) ::inotify_rm_watch(inotify_, *watch);
        *watch = -1;
    }
    poll_.stop();
    awaitingWriter_ = false;
    if (path_.empty()) return false;
    if (inotify_ < 0) {
        cannotWatch(path_.parent_path(), EMFILE);
        return false;
    }
    fs::path below = path_;
    for (fs::path folder = path_.parent_path().empty() ? fs::path(".") : path_.parent_path();;
         below = folder, folder = folder.parent_path()) {
        watch_ = options_.addWatch(inotify_, folder.c_str(), kWatched);
        if (watch_ >= 0) {
            nextName_ = below.filename().string();
            watchingItsFolder_ = below == path_;
            watchFromAbove(folder);
            std::error_code error;
            return !watchingItsFolder_ && fs::is_directory(below, error);
        }
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        if (!missing || !folder.has_relative_path()) {
            cannotWatch(folder, errno);
            return false;
        }
    }
}

void PathWatch::watchFromAbove(const fs::path& folder) {
    folderName_ = folder.filename().string();
    if (folderName_.empty() || folderName_ == "." || folderName_ == "..") return;  // nothing above to ask
    const fs::path above = folder.parent_path().empty() ? fs::path(".") : folder.parent_path();
    folderWatch_ = options_.addWatch(inotify_, above.c_str(), kFolderReplaced);
    if (folderWatch_ < 0) cannotWatch(above, errno);
}

void PathWatch::cannotWatch(const fs::path& folder, int error) {
    poll_.start(options_.pollInterval);
    if (toldCannotWatch_) return;
    toldCannotWatch_ = true;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(options_.pollInterval).count();
    const bool atLimit = error == ENOSPC || error == EMFILE;
    log::warning("Cannot watch " + folder.string() + " for changes to " + path_.filename().string() + " (" +
                 std::strerror(error) + (atLimit ? ": the inotify limits are reached" : "") +
                 "); looking at it every " + std::to_string(seconds) + " s instead.");
}

bool PathWatch::names(const inotify_event& event, const std::string& name) {
    return event.len > 0 && std::string_view(event.name) == name;
}

void PathWatch::readEvents() {
    bool changed = false;
    bool rearm = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t length = ::read(inotify_, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR) continue;
            break;
        }
        for (ssize_t at = 0; at < length;) {
            const auto& event = *reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if (event.mask & IN_Q_OVERFLOW) {  // events were lost: start over
                rearm = changed = true;
            } else if (event.wd == folderWatch_) {
                if (names(event, folderName_)) rearm = changed = true;
            } else if (event.wd != watch_) {
                continue;  // the last words of a watch already given up
            } else if (event.mask & kFolderGone) {
                rearm = changed = true;
            } else if (!names(event, nextName_)) {
                // A file made at the path by O_TMPFILE is closed under a name of its own.
                if (awaitingWriter_ && (event.mask & IN_CLOSE_WRITE) && !stillBeingWritten(path_)) {
                    awaitingWriter_ = false;
                    changed = true;
                }
            } else if (!watchingItsFolder_) {
                // A folder on the way to the path is back: go one step closer (or more).
                if (event.mask & (IN_CREATE | IN_MOVED_TO)) rearm = changed = true;
            } else if (event.mask & kFileChanged) {
                awaitingWriter_ = false;
                changed = true;
            } else if (event.mask & IN_CREATE) {
                awaitingWriter_ = stillBeingWritten(path_);
                if (!awaitingWriter_) changed = true;
            }
        }
    }
    if (rearm) arm();
    if (changed) changed_();
}

}  // namespace tw
