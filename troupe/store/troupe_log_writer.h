#pragma once
// The troupe log's writer thread. Each line goes to the file with one write(2) on an
// O_APPEND descriptor, so a crash leaves whole lines and at most one torn last line;
// fsync is batched to once a second. A line only ever starts at a line boundary: a
// write cut short (a full disk, a quota, the file-size limit) is taken back off the
// file, or, when that cannot be done, ended with a newline before anything else is
// written, as is a line a crash or another writer tore.
//
// Before each batch of lines the writer looks at the log's path: when the file was
// deleted (or its folder) it is made again; when another regular file took its place
// (an editor's or sync tool's save), the lines go to that one and `replaced` is called.
// Other jobs (reading the log) run on the same thread, in order with the lines.
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>

namespace tw {

class TroupeLogWriter {
   public:
    // write(2) as the writer calls it; tests pass one that fails.
    using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t size)>;
    using FailureHandler = std::function<void(const std::string& error)>;

    // `replaced` runs on the writer thread, before any line goes to the new file.
    explicit TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction = {},
                             std::function<void()> replaced = {});
    // Writes what is queued, syncs and joins; says how many lines could not be written.
    ~TroupeLogWriter();
    TroupeLogWriter(const TroupeLogWriter&) = delete;
    TroupeLogWriter& operator=(const TroupeLogWriter&) = delete;

    // `line` must end with '\n'. Thread-safe.
    void write(std::string line);
    // Runs `job` on the writer thread after every line queued before it is written. A
    // job that throws is logged and `failed` is called, on that thread, with what it threw.
    void run(std::function<void()> job, FailureHandler failed = {});
    // Blocks until everything queued so far is written and synced. False when a line
    // could not be written (it stays queued and is retried every second).
    bool drain();
    // The bytes of the lines queued and not yet written.
    std::uint64_t queuedBytes();

   private:
    struct Task {
        std::function<void()> job;
        FailureHandler failed;
    };
    using Job = std::variant<std::string, Task>;

    void loop();
    bool writeLine(const std::string& line);  // false on an error worth retrying later
    bool openFile();
    bool makeFolder();
    void followPath();
    std::size_t writeAll(std::string_view bytes);
    bool endTornLine();
    bool dropFragment(std::size_t size);
    void report(const std::string& what);
    void sync();

    const std::filesystem::path file_;
    const WriteFunction write_;
    const std::function<void()> replaced_;
    int fd_ = -1;
    bool atLineStart_ = false;      // the file is known to end with a newline (or be empty)
    bool dirty_ = false;            // written since the last sync
    bool reported_ = false;         // a failure is logged once until writing works again
    bool lookAtPath_ = true;        // a new batch: the path may hold another file by now
    bool pathHoldsNoFile_ = false;  // said once while something else is at the path

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable progress_;
    std::deque<Job> jobs_;
    std::uint64_t queuedBytes_ = 0;
    std::uint64_t submitted_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t synced_ = 0;  // jobs done as of the last sync
    int draining_ = 0;
    bool failing_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tw
