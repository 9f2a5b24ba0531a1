#include "troupe/store/troupe_log_path_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw {

namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM | IN_MODIFY |
                                  IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The folder itself went, or events were lost: whatever the name holds is looked at.
constexpr std::uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

TroupeLogPathWatch::TroupeLogPathWatch(std::filesystem::path file, std::function<void()> poke)
    : file_(std::move(file)), name_(file_.filename().string()), poke_(std::move(poke)) {
    inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    stop_ = inotify_ >= 0 ? ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (stop_ < 0) return;  // the slow poll alone
    watchFolder();
    thread_ = std::thread([this] { loop(); });
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

void TroupeLogPathWatch::watchFolder() {
    const int watch = ::inotify_add_watch(inotify_, file_.parent_path().c_str(), kEvents);
    watch_ = watch;
    watching_ = watch >= 0;
}

void TroupeLogPathWatch::rearm() {
    if (stop_ >= 0 && !watching_) watchFolder();
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
                if ((event->mask & kFolderGone) != 0 && event->wd == watch_) {
                    // A moved folder's watch would follow it: the path is watched again later.
                    if ((event->mask & IN_IGNORED) == 0) ::inotify_rm_watch(inotify_, event->wd);
                    watching_ = false;
                    ours = true;
                }
                if ((event->mask & IN_Q_OVERFLOW) != 0 || (event->len > 0 && name_ == event->name))
                    ours = true;
            }
        }
        if (ours) poke_();
    }
}

void TroupeLogPathWatch::remember(const struct stat& info, std::uint64_t size, std::string tail) {
    seen_ = Seen{atomic_file::FileIdentity::of(info), size, info.st_ctim, std::move(tail)};
}

bool TroupeLogPathWatch::sameFile(const struct stat& info) const {
    return seen_ && seen_->identity == atomic_file::FileIdentity::of(info);
}

TroupeLogLook TroupeLogPathWatch::look(const struct stat& info, FunctionRef<bool()> tailReadsBack,
                                       FunctionRef<bool()> linesReadBack, bool deep) const {
    if (!seen_) return TroupeLogLook::same;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const bool sameTimes = seen_->changedAt.tv_sec < 0 || sameTime(info.st_ctim, seen_->changedAt);
    if (!sameFile(info) && seen_->identity.known()) return TroupeLogLook::changed;
    if (size < seen_->size) return TroupeLogLook::changed;
    if (size > seen_->size) {
        // Appended to from a line's end, or written from further back (a shell's `>` under
        // way): the last bytes seen, then this run's lines, tell.
        const bool fromLineEnd = seen_->size == 0 || (!seen_->tail.empty() && seen_->tail.back() == '\n');
        return fromLineEnd && tailReadsBack() && linesReadBack() ? TroupeLogLook::appended
                                                                 : TroupeLogLook::changed;
    }
    // A new change time at the same size is a touch or a write in place over others' lines
    // (a sync tool's copy of the same length): only a read of the file tells them apart.
    if (!sameTimes || !tailReadsBack()) return TroupeLogLook::changed;
    // A write within the clock tick of the last look changes neither: this run's lines tell.
    return !deep || linesReadBack() ? TroupeLogLook::same : TroupeLogLook::changed;
}

}  // namespace tw
