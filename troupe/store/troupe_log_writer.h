#pragma once
// The troupe log's writer thread. Each line goes to the file with one write(2) on an
// O_APPEND descriptor, so a crash leaves whole lines and at most one torn last line;
// fsync is batched to once a second. A line only ever starts at a line boundary: a
// write cut short (a full disk, a quota, the file-size limit) is taken back off the
// file, or, when that cannot be done, ended with a newline before anything else is
// written, as is a line a crash or another writer tore.
//
// Each line with an event id also goes to this run's ledger. The writer knows what its
// own writes left in the file (its identity, size and change time), and looks before
// and after each line, before each batch and every pollInterval: when the file at the
// path may have changed other than by those writes (replaced by a rename, deleted, cut
// short, written over, appended to), it goes on with the file at the path (a deleted one
// is made again) and says so through `changed`. A reconcile then reads the file at the
// path up to a cut and puts back the ledger's lines it lacks (writeAgain), unless it
// changed again meanwhile. When the file held was deleted and the path holds something
// that is no file (a FIFO, a folder, a link to nothing), the lines wait until it holds a
// file or nothing.
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
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
#include <variant>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/uuid.h"
#include "troupe/store/troupe_run_ledger.h"

namespace tw {

// Where a reconcile reads up to, taken on the writer thread in order with the lines: the
// file at the path, open and read up to `file.size` (status missing when there is none),
// the ledger's entries written before it, and the count of changes seen by then.
struct TroupeLogCut {
    atomic_file::OpenedFile file;
    atomic_file::FileIdentity identity;
    std::size_t ledgerEntries = 0;
    std::uint64_t changes = 0;
};

class TroupeLogWriter {
   public:
    // write(2) as the writer calls it; tests pass one that fails.
    using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t size)>;
    using FailureHandler = std::function<void(const std::string& error)>;
    // Runs on the writer thread, with the number of changes seen so far.
    using Changed = std::function<void(std::uint64_t changes)>;
    static constexpr std::chrono::milliseconds pollInterval{200};

    explicit TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction = {},
                             Changed changed = {});
    // Writes what is queued, syncs and joins; says how many lines could not be written.
    ~TroupeLogWriter();
    TroupeLogWriter(const TroupeLogWriter&) = delete;
    TroupeLogWriter& operator=(const TroupeLogWriter&) = delete;

    // `line` must end with '\n'; with an id it is an accepted event, kept in the ledger
    // once written. Thread-safe.
    void write(std::string line, std::optional<Uuid> id = std::nullopt);
    // Runs `job` on the writer thread after every line queued before it is written. A
    // job that throws is logged and `failed` is called, on that thread, with what it threw.
    void run(std::function<void()> job, FailureHandler failed = {});
    // Blocks until everything queued so far is written and synced, looking at the path
    // once more. False when a try made after the call could not write a line (it stays
    // queued and is retried every second).
    bool drain();
    // The line starting at `offset` of the file the lines go to, without its newline,
    // once every line queued before is written; empty when unreadable.
    std::string lineAt(std::uint64_t offset);
    // The bytes of the lines queued and not yet written.
    std::uint64_t queuedBytes();
    // The file a load read up to `end`, changed at `changedAt` (unknown: nothing was
    // there): the writer's first look compares the path with it. Before any line.
    void expectFile(atomic_file::FileIdentity loaded, std::uint64_t end, timespec changedAt);
    // After the lines queued so far, hands `take` (on this thread) the cut a reconcile reads
    // up to; `failed` gets what it threw, there is no cut then.
    void cut(std::function<void(TroupeLogCut)> take, FailureHandler failed);
    // The ledger's lines a reconcile up to a cut found missing: appended unless the file
    // changed since that cut (another reconcile follows then).
    void writeAgain(std::vector<TroupeRunLedger::Line> lines, std::uint64_t changesAtCut);
    // Quitting: appends every ledger line not seen in the file at the path since it last
    // changed (none when a reconcile saw them all since) and returns how many.
    std::size_t appendUnconfirmed();
    // Blocks until no change was seen for `quiet` (or `stop` is set).
    void waitForQuiet(std::chrono::milliseconds quiet, const std::atomic<bool>& stop);
    const TroupeRunLedger& ledger() const { return ledger_; }
    // The file held was deleted and the path holds no file: the lines wait.
    bool holdsLines() const { return holding_; }
    // A line could not be written and waits to be tried again, and everything after it.
    bool retrying() const { return retrying_; }

   private:
    struct Line {
        std::string text;
        std::optional<Uuid> id;
    };
    struct Task {
        std::function<void()> job;
        FailureHandler failed;
    };
    using Job = std::variant<Line, Task>;
    // The held file as this thread's writes left it.
    struct Seen {
        atomic_file::FileIdentity identity;
        std::uint64_t size = 0;
        timespec changedAt{};
    };

    void loop();
    void enqueue(Job job);
    bool writeLine(const Line& line);  // false on an error worth retrying later
    bool openFile();
    bool followPath();  // false when nothing may be written now
    void lookAtHeldFile();
    bool sameAsSeen(const struct stat& info) const;
    void remember(const struct stat& info);
    void changed();
    void queueFront(std::vector<TroupeRunLedger::Line> lines);
    std::size_t writeAll(std::string_view bytes);
    bool endTornLine();
    bool dropFragment(std::size_t size);
    bool readsBack(std::string_view text);
    void report(const std::string& what, const std::string& why);
    void sync();

    const std::filesystem::path file_;
    const WriteFunction write_;
    const Changed changed_;
    TroupeRunLedger ledger_;
    int fd_ = -1;
    bool atLineStart_ = false;      // the file is known to end with a newline (or be empty)
    bool dirty_ = false;            // written since the last sync
    bool reported_ = false;         // a failure is logged once until writing works again
    bool lookAtPath_ = true;        // a new batch or a job ran: the path may hold another file by now
    bool pathHoldsNoFile_ = false;  // said once while something else is at the path
    std::atomic<bool> holding_ = false;
    std::atomic<bool> retrying_ = false;
    // Until the load says what it read, nothing is compared.
    std::optional<Seen> seen_;
    // The last line this thread wrote to the file held, read back at each look: written over
    // in place within the clock tick of the write, neither size nor time tells.
    std::string lastLine_;
    // Changes seen; the count up to which a reconcile found (or put) every ledger line in
    // the file; the ledger entries written before the last change.
    std::uint64_t changes_ = 0;
    std::uint64_t confirmed_ = 0;
    std::size_t unconfirmedEntries_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable progress_;
    std::deque<Job> jobs_;
    std::chrono::steady_clock::time_point lastChange_{};
    std::uint64_t queuedBytes_ = 0;
    std::uint64_t submitted_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t synced_ = 0;  // jobs done as of the last sync
    std::uint64_t looks_ = 0;   // at the path, for whoever drains
    int draining_ = 0;
    std::uint64_t failures_ = 0;  // tries that failed
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tw
