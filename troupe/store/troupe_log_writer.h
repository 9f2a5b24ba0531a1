#pragma once
// The troupe log's writer thread. Each line goes to the file with one write(2) on an
// O_APPEND descriptor, so a crash leaves whole lines and at most one torn last line;
// fsync is batched to once a second. A line only ever starts at a line boundary: a
// write cut short (a full disk, a quota, the file-size limit) is taken back off the
// file, or, when that cannot be done, ended with a newline before anything else is
// written, as is a line a crash or another writer tore.
//
// Before the first line after a pause or after any job, the writer looks at the log's
// path: when the file was deleted (or its folder) it is made again; when another regular
// file took its place (an editor's or sync tool's save), the lines go to that one and
// `replaced` is called, and a sync looks for such a file too; so is it when the file held
// is shorter than this run knew it (cut short or written over in place). When the file held was deleted and
// the path holds something that is no file (a FIFO, a folder, a link to nothing), the lines wait until it
// holds a file or nothing. Reading the log runs elsewhere, up to an end the writer takes (cut()).
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/uuid.h"

namespace tw {

// Where a read of the log ends, taken on the writer thread in order with the lines: the
// file they go to, open and read up to `file.size` (status missing when there is none),
// and the files they went to before it took their place, from where this run's lines
// in each start.
struct TroupeLogCut {
    atomic_file::OpenedFile file;
    atomic_file::FileIdentity identity;
    // Where this run's lines in `file` start, when it took the log's place since the last
    // read: what it held of its own ends there. Else `file.size`.
    std::uint64_t ownFrom = 0;
    struct Replaced {
        atomic_file::OpenedFile file;
        std::uint64_t from = 0;
    };
    std::vector<Replaced> replaced;
};

class TroupeLogWriter {
   public:
    // write(2) as the writer calls it; tests pass one that fails.
    using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t size)>;
    using FailureHandler = std::function<void(const std::string& error)>;

    // `replaced` runs on the writer thread, before any line goes to the new file, with the
    // number of cuts taken so far.
    using Replaced = std::function<void(std::uint64_t cutsTaken)>;
    explicit TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction = {},
                             Replaced replaced = {});
    // Writes what is queued, syncs and joins; says how many lines could not be written.
    ~TroupeLogWriter();
    TroupeLogWriter(const TroupeLogWriter&) = delete;
    TroupeLogWriter& operator=(const TroupeLogWriter&) = delete;

    // `line` must end with '\n'. Thread-safe.
    void write(std::string line);
    // Runs `job` on the writer thread after every line queued before it is written. A
    // job that throws is logged and `failed` is called, on that thread, with what it threw.
    void run(std::function<void()> job, FailureHandler failed = {});
    // Blocks until everything queued so far is written and synced. False when a try made
    // after the call could not write a line (it stays queued and is retried every second).
    bool drain();
    // The line starting at `offset` of the file the lines go to, without its newline,
    // once every line queued before is written; empty when unreadable.
    std::string lineAt(std::uint64_t offset);
    // The bytes of the lines queued and not yet written.
    std::uint64_t queuedBytes();
    // The file a load read up to `end` (none: nothing was there), to which the first open
    // compares what it finds at the path: another file is a replacement. Before any line.
    void expectFile(atomic_file::FileIdentity loaded, std::uint64_t end);
    // After the lines queued so far, hands `take` (on this thread) the cut a read of the
    // log may go up to; `failed` gets what it threw, there is no cut then.
    void cut(std::function<void(TroupeLogCut)> take, FailureHandler failed);
    // This run's lines that a replaced file held, after the lines queued so far, each but
    // those whose ids the file they would go to holds near its end, as far back as a copy
    // of `written` bytes of this run's lines reaches: a copy of the log put at the path
    // has them already.
    void writeAgain(std::vector<std::pair<Uuid, std::string>> lines, std::uint64_t written);
    // The file held was deleted and the path holds no file: the lines wait.
    bool holdsLines() const { return holding_; }
    // A line could not be written and waits to be tried again, and everything after it.
    bool retrying() const { return retrying_; }

   private:
    struct Task {
        std::function<void()> job;
        FailureHandler failed;
    };
    using Job = std::variant<std::string, Task>;

    void loop();
    bool writeLine(const std::string& line);  // false on an error worth retrying later
    bool openFile(bool announce = true);
    bool makeFolder();
    bool followPath();  // false when nothing may be written now
    void noticeShrinking(bool announce);
    atomic_file::OpenedFile openedHeldFile(struct stat& info);
    std::size_t writeAll(std::string_view bytes);
    bool endTornLine();
    bool dropFragment(std::size_t size);
    void report(const std::string& what, const std::string& why);
    void sync();

    const std::filesystem::path file_;
    const WriteFunction write_;
    const Replaced replaced_;
    int fd_ = -1;
    bool atLineStart_ = false;      // the file is known to end with a newline (or be empty)
    bool dirty_ = false;            // written since the last sync
    bool reported_ = false;         // a failure is logged once until writing works again
    bool lookAtPath_ = true;        // a new batch or a job ran: the path may hold another file by now
    bool pathHoldsNoFile_ = false;  // said once while something else is at the path
    std::atomic<bool> holding_ = false;
    std::atomic<bool> retrying_ = false;
    // The file last read (by the load or a cut), nullopt until the load says (nothing is
    // compared before), and where this run's lines in the file held start.
    std::optional<atomic_file::FileIdentity> readFile_;
    std::uint64_t readEnd_ = 0;
    // The file held took the log's place, or was cut short in place, and has not been read
    // since: the next cut reads it up to readEnd_ as a first load, this run's lines after.
    bool heldUnread_ = false;
    bool replacementSaid_ = false;  // followPath said so, the open need not
    // The held file's end as last known: what the load or a cut read of it, or where this
    // run's last line in it ends. A file shorter than that was cut short in place.
    std::uint64_t knownEnd_ = 0;
    std::vector<TroupeLogCut::Replaced> replacedFiles_;  // since the last cut
    std::uint64_t cutsTaken_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable progress_;
    std::deque<Job> jobs_;
    std::uint64_t queuedBytes_ = 0;
    std::uint64_t submitted_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t synced_ = 0;  // jobs done as of the last sync
    int draining_ = 0;
    std::uint64_t failures_ = 0;  // tries that failed
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tw
