#include "platform/qt/qt_key_value_store.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/log.h"
#include "platform/paths.h"

namespace tw {
namespace {

constexpr const char* changedName = "changed";

// What changes a file's content or replaces it in its folder.
constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB;
constexpr std::uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

QtKeyValueStore::QtKeyValueStore(std::filesystem::path file, Reader read)
    : file_(std::move(file)), read_(std::move(read)) {
    const std::filesystem::path folder = file_.parent_path();
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) {
        log::warning(std::string("The key-value file cannot be watched: ") + std::strerror(errno));
    } else if (paths::ensureDirectory(folder)) {
        folderWatch_ = ::inotify_add_watch(inotify_, folder.c_str(), kFolderEvents | IN_ONLYDIR);
        notifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    }
    reload();
}

QtKeyValueStore::~QtKeyValueStore() {
    notifier_.reset();
    if (inotify_ >= 0) ::close(inotify_);
}

std::optional<std::string> QtKeyValueStore::stringForKey(const std::string& key) const {
    return values_.string(key);
}

std::int64_t QtKeyValueStore::longLongForKey(const std::string& key) const { return values_.longLong(key); }

void QtKeyValueStore::synchronize() { reload(); }

KeyValueStore::Token QtKeyValueStore::observeExternalChanges(std::function<void()> observer) {
    return changes_.addObserver(changedName,
                                [observer = std::move(observer)](const Notification&) { observer(); });
}

void QtKeyValueStore::removeObserver(Token token) { changes_.removeObserver(token); }

void QtKeyValueStore::readEvents() {
    const std::string name = file_.filename().string();
    bool relevant = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t length = ::read(inotify_, buffer, sizeof buffer);
        if (length <= 0) {
            if (length < 0 && errno == EINTR) continue;
            break;
        }
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW) relevant = true;  // events were lost: look once
            if (event->wd == linkWatch_ && linkWatch_ >= 0) relevant = true;
            if (event->wd == folderWatch_ && event->len > 0 && name == event->name) relevant = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (relevant) reload();
}

void QtKeyValueStore::reload() {
    watchLinkTarget();
    KeyValuesFile read = read_(file_);
    if (read.status == KeyValuesFile::Status::unusable) {
        if (warned_ != read.fingerprint) {
            warned_ = read.fingerprint;
            log::warning("The key-value file " + file_.string() + " " + read.problem +
                         "; keeping the values last read and leaving it as it is.");
        }
        return;
    }
    warned_.reset();
    if (read.values == values_) return;
    values_ = std::move(read.values);
    changes_.post(changedName);
}

void QtKeyValueStore::watchLinkTarget() {
    if (inotify_ < 0) return;
    struct stat info {};
    const bool link = ::lstat(file_.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    // Follows the link; a loop or a link to nothing has nothing to watch. Added to, not
    // replacing, the events of a watch already there (a link to the folder itself).
    int watch = link ? ::inotify_add_watch(inotify_, file_.c_str(), kFileEvents | IN_MASK_ADD) : -1;
    if (watch == folderWatch_) watch = -1;
    if (watch == linkWatch_) return;
    if (linkWatch_ >= 0) ::inotify_rm_watch(inotify_, linkWatch_);
    linkWatch_ = watch;
}

}  // namespace tw
