#pragma once
// Tells when the file at a path may have changed, through inotify on its folder: a file
// replaced by a rename stays watched, which a watch on the file itself would not. While
// the folder is missing (removed, or not made yet) the nearest folder above it is
// watched until the path's folders are back. When no watch can be set (the inotify
// limits), that is said once and the path is looked at again on a slow timer instead.
// A file written in place counts once its writer closes it, never per write; one
// given its name by a link counts at once. Main thread only.
#include <sys/inotify.h>

#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tw {

struct PathWatchOptions {
    // inotify_add_watch(2); tests make it fail as the watch limit does.
    int (*addWatch)(int fd, const char* path, std::uint32_t mask) = &::inotify_add_watch;
    std::chrono::milliseconds pollInterval{30'000};
};

class PathWatch final {
   public:
    explicit PathWatch(std::function<void()> changed, PathWatchOptions options = {});
    ~PathWatch();
    PathWatch(const PathWatch&) = delete;
    PathWatch& operator=(const PathWatch&) = delete;

    // Watches `path` instead of what was watched before; an empty path watches nothing.
    void watch(const std::filesystem::path& path);

   private:
    void arm();
    bool setWatches();  // true when a folder closer to the path came while they were set
    void watchFromAbove(const std::filesystem::path& folder);
    void cannotWatch(const std::filesystem::path& folder, int error);
    void readEvents();
    static bool names(const inotify_event& event, const std::string& name);

    std::function<void()> changed_;
    PathWatchOptions options_;
    std::filesystem::path path_;
    std::string nextName_;            // what, in the folder watched, leads to the path
    bool watchingItsFolder_ = false;  // else a folder further up, while the path's is missing
    std::string folderName_;          // the watched folder's name in the one above it
    int inotify_ = -1;
    int watch_ = -1;
    int folderWatch_ = -1;  // the folder above, for the watched folder going
    bool toldCannotWatch_ = false;
    bool awaitingWriter_ = false;  // a file made at the path is still open for writing
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer poll_;
};

}  // namespace tw
