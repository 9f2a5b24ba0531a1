#pragma once
// Whether the troupe log's file may hold other bytes than the writer's own writes left.
//
// Two halves. What the writer's writes left in the file it holds (its identity, size,
// modification time and change time, st_ctim: unlike the modification time, no program can
// set it back), and what a look at that file finds against it: the same; lines another
// program appended (bigger, from a line's end, the bytes seen there still there); only its
// metadata changed (a new change time alone: an xattr, a chmod, a hard link); modified at
// the same size (a touch, or a write in place: the file's bytes tell, see the block
// hashes); or a change that needs the file read again.
//
// And when to look: inotify on the log's folder (and on the folder of the file a link
// there leads to) tells of every create, rename, delete, write and attribute change under
// the log's name on a local file system (FUSE, NFS and SMB mounts may tell nothing of
// other machines' changes), and the writer looks every slowPoll as well, which also covers
// a folder where inotify cannot be had (said once). The watch has a thread of its own that
// sleeps in poll(2) until the kernel tells it something.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/function_ref.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {

// Two stat times, to the nanosecond.
inline bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

enum class TroupeLogLook {
    same,       // as this thread's writes left it
    appended,   // lines appended after what was seen, from a line's end
    metadata,   // only its change time moved: attributes, a mode, a link (a sync tool's, a backup's)
    rewritten,  // modified at the same size: a touch, or a write in place that its bytes tell
    changed,    // to be read again
};

class TroupeLogPathWatch {
   public:
    // Between looks at rest; also how soon a change that sends no event is seen.
    static constexpr std::chrono::seconds slowPoll{2};

    // `poke` runs on the watch's thread when something under the log's name in its
    // folder changed, or the folder itself went.
    TroupeLogPathWatch(std::filesystem::path file, std::function<void()> poke);
    ~TroupeLogPathWatch();  // stops and joins
    TroupeLogPathWatch(const TroupeLogPathWatch&) = delete;
    TroupeLogPathWatch& operator=(const TroupeLogPathWatch&) = delete;

    // Watches the folder again after it went (made again since); cheap when watched.
    void rearm();

    // What this thread's writes left in the file held; nothing known before a load said
    // what it read.
    struct Seen {
        atomic_file::FileIdentity identity;
        std::uint64_t size = 0;
        timespec changedAt{-1, -1};   // st_ctim; unknown when tv_sec < 0
        timespec modifiedAt{-1, -1};  // st_mtim; unknown when tv_sec < 0
        std::string tail;             // the bytes just before `size`, up to troupeLogTailBytes
        static Seen of(const struct stat& info, std::uint64_t size, std::string tail = {});
        // `info` is of this file, at this size and these times: nothing that shows has moved.
        bool describes(const struct stat& info) const;
    };
    const std::optional<Seen>& seen() const { return seen_; }
    void expect(Seen seen) { seen_ = seen; }
    // As `info` says up to `size` (what is known to be seen), ending in `tail`.
    void remember(const struct stat& info, std::uint64_t size, std::string tail);
    void forget() { seen_.reset(); }
    // The held file's `info` against what was seen; `tailReadsBack` (the seen tail is where
    // it was) is asked only when needed. Nothing more is read here: a write within the clock
    // tick of the last look changes neither size nor time, which the writer's read-back of
    // this run's lines covers.
    TroupeLogLook look(const struct stat& info, FunctionRef<bool()> tailReadsBack) const;
    // The times of `info` taken for what was seen: the bytes are as they were.
    void rememberTimes(const struct stat& info);
    // The same file as seen, another, or none seen.
    bool sameFile(const struct stat& info) const;

   private:
    void loop();
    void watchFolders();
    void sayPolled(const std::string& why);

    // A folder watched, and the name in it that is the log.
    struct Place {
        int watch = -1;
        std::string name;
        std::filesystem::path folder;
    };

    const std::filesystem::path file_;
    const std::function<void()> poke_;
    std::optional<Seen> seen_;
    int inotify_ = -1;
    int stop_ = -1;  // an eventfd that ends the thread
    std::mutex placesMutex_;
    Place link_;    // the log's own folder
    Place target_;  // the folder of the file a link at the log's path leads to, when another
    bool saidPolled_ = false;
    std::thread thread_;
};

}  // namespace tw
