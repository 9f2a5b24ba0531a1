#include "troupe/store/troupe_log_path_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/log.h"

namespace tw {

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_MODIFY |
                                  IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The folder itself went, or events were lost: whatever the name holds is looked at.
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

}  // namespace

TroupeLogPathWatch::TroupeLogPathWatch(std::filesystem::path file, std::function<void()> poke)
    : file_(std::move(file)), poke_(std::move(poke)) {
    link_.name = file_.filename().string();
    inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    stop_ = inotify_ >= 0 ? ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (stop_ < 0) {
        sayPolled(std::strerror(errno));
        return;  // the slow poll alone
    }
    watchFolders();
    thread_ = std::thread([this] { loop(); });
}

void TroupeLogPathWatch::sayPolled(const std::string& why) {
    if (std::exchange(saidPolled_, true)) return;
    log::system("Cannot follow the troupe log's folder " + file_.parent_path().string() + " as it changes (" +
                why + "); it is looked at every " + std::to_string(slowPoll.count()) + " seconds");
}

TroupeLogPathWatch::~TroupeLogPathWatch() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        while (::write(stop_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    if (stop_ >= 0) ::close(stop_);
    if (inotify_ >= 0) ::close(inotify_);
}

// The log's folder, and the folder of the file a link there leads to: the one written is
// the target, whose changes only its own folder tells of.
void TroupeLogPathWatch::watchFolders() {
    std::error_code error;
    std::filesystem::path target;
    if (std::filesystem::is_symlink(file_, error)) target = std::filesystem::weakly_canonical(file_, error);
    if (error) target.clear();
    std::lock_guard lock(placesMutex_);
    if (link_.watch < 0) {
        link_.watch = ::inotify_add_watch(inotify_, file_.parent_path().c_str(), kEvents);
        if (link_.watch < 0 && errno != ENOENT) sayPolled(std::strerror(errno));
    }
    if (target.parent_path() != target_.folder || target.filename().string() != target_.name) {
        if (target_.watch >= 0 && target_.watch != link_.watch) ::inotify_rm_watch(inotify_, target_.watch);
        target_ = {};
    }
    if (!target.empty() && target_.watch < 0) {
        target_.folder = target.parent_path();
        target_.name = target.filename().string();
        target_.watch = target_.folder == file_.parent_path()
                            ? link_.watch
                            : ::inotify_add_watch(inotify_, target_.folder.c_str(), kEvents);
    }
}

void TroupeLogPathWatch::rearm() {
    if (stop_ >= 0) watchFolders();
}

void TroupeLogPathWatch::loop() {
    alignas(struct inotify_event) char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{inotify_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        bool ours = false;
        for (ssize_t got; (got = ::read(inotify_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
                std::lock_guard lock(placesMutex_);
                for (Place* place : {&link_, &target_}) {
                    if (event->wd != place->watch) continue;
                    if ((event->mask & kFolderGone) != 0) {
                        // A moved folder's watch would follow it: the path is watched again later.
                        if ((event->mask & IN_IGNORED) == 0) ::inotify_rm_watch(inotify_, event->wd);
                        place->watch = -1;
                        ours = true;
                    }
                    if (event->len > 0 && place->name == event->name) ours = true;
                }
                if ((event->mask & IN_Q_OVERFLOW) != 0) ours = true;
            }
        }
        if (ours) poke_();
    }
}

TroupeLogPathWatch::Seen TroupeLogPathWatch::Seen::of(const struct stat& info, std::uint64_t size,
                                                      std::string tail) {
    return {atomic_file::FileIdentity::of(info), size, info.st_ctim, info.st_mtim, std::move(tail)};
}

bool TroupeLogPathWatch::Seen::describes(const struct stat& info) const {
    return identity == atomic_file::FileIdentity::of(info) &&
           size == static_cast<std::uint64_t>(info.st_size) && sameTime(changedAt, info.st_ctim) &&
           sameTime(modifiedAt, info.st_mtim);
}

void TroupeLogPathWatch::remember(const struct stat& info, std::uint64_t size, std::string tail) {
    seen_ = Seen::of(info, size, std::move(tail));
}

void TroupeLogPathWatch::rememberTimes(const struct stat& info) {
    if (!seen_) return;
    seen_->changedAt = info.st_ctim;
    seen_->modifiedAt = info.st_mtim;
}

bool TroupeLogPathWatch::sameFile(const struct stat& info) const {
    return seen_ && seen_->identity == atomic_file::FileIdentity::of(info);
}

TroupeLogLook TroupeLogPathWatch::look(const struct stat& info, FunctionRef<bool()> tailReadsBack) const {
    if (!seen_) return TroupeLogLook::same;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (!sameFile(info) && seen_->identity.known()) return TroupeLogLook::changed;
    if (size < seen_->size) return TroupeLogLook::changed;
    if (size > seen_->size) {
        // Appended to from a line's end, or written from further back (a shell's `>` under
        // way): the last bytes seen tell.
        const bool fromLineEnd = seen_->size == 0 || (!seen_->tail.empty() && seen_->tail.back() == '\n');
        return fromLineEnd && tailReadsBack() ? TroupeLogLook::appended : TroupeLogLook::changed;
    }
    // Times unknown: a read that failed part way still read a file of that size.
    if (seen_->changedAt.tv_sec < 0 || sameTime(info.st_ctim, seen_->changedAt)) return TroupeLogLook::same;
    if (!tailReadsBack()) return TroupeLogLook::changed;
    // A new change time alone moves no byte; a new modification time at the same size is a
    // touch or a write in place over lines (a sync tool's copy of the same length).
    return seen_->modifiedAt.tv_sec >= 0 && sameTime(info.st_mtim, seen_->modifiedAt)
               ? TroupeLogLook::metadata
               : TroupeLogLook::rewritten;
}

}  // namespace tw
