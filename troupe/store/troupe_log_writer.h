#pragma once
// The troupe log's writer thread. The lines queued go to the file in few write(2)s on an
// O_APPEND descriptor (whole lines each, see TroupeLogHeldFile::mostBytesAWrite), so a
// crash leaves whole lines and at most one torn last line; fsync is batched to once a
// second. A line only ever starts at a line boundary: a
// write cut short (a full disk, a quota, the file-size limit) is taken back off the
// file, or, when that cannot be done, ended with a newline before anything else is
// written, as is a line a crash or another writer tore.
//
// Each line with an event id also goes to this run's ledger. The file held follows the
// path (see TroupeLogHeldFile): lines another program appended are handed on
// (`appended`), any other change is said (`changed`), and a reconcile then reads the file
// up to a cut and puts back the ledger's lines it lacks (writeAgain), unless it changed
// again meanwhile. While nothing can be written (a dead mount, a full disk, no file at
// the path), the lines wait in order and are tried again with a back-off. At rest the
// thread wakes when told (a line, a drain, the path watch) and every slowPoll.
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/uuid.h"
#include "troupe/store/troupe_log_held_file.h"
#include "troupe/store/troupe_run_ledger.h"

namespace tw {

class TroupeLogWriter {
   public:
    // write(2) as the writer calls it; tests pass one that fails.
    using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t size)>;
    using FailureHandler = std::function<void(const std::string& error)>;
    // Run on the writer thread: with the number of changes seen so far, and with lines
    // another program appended.
    using Changed = std::function<void(std::uint64_t changes)>;
    using Appended = std::function<void(TroupeLogAppended)>;

    using Deadline = std::chrono::steady_clock::time_point;
    static constexpr Deadline never = Deadline::max();

    // `read` is pread(2) as the comparisons of the file's bytes call it, on the minutes of
    // `secondsClock` (see TroupeLogNet).
    explicit TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction = {},
                             Changed changed = {}, Appended appended = {},
                             TroupeLogReadControl::ReadFunction read = {},
                             std::function<double()> secondsClock = {});
    // Writes what is queued, syncs and joins; says how many lines could not be written.
    ~TroupeLogWriter();
    // Quitting: writes what is queued and ends the thread by `deadline`. A thread that has
    // not ended by then (a mount that hangs every call) is left to end on its own, with
    // the writer: the caller must then release it, never delete it. Says how many lines
    // could not be written; false when it was left.
    static bool stop(std::unique_ptr<TroupeLogWriter>& writer, Deadline deadline);
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
    // queued and is tried again with a back-off), or at `deadline`.
    bool drain(Deadline deadline = never);
    // The line starting at `offset` of the file the lines go to, without its newline,
    // once every line queued before is written; empty when unreadable.
    std::string lineAt(std::uint64_t offset);
    // The bytes of the lines queued and not yet written.
    std::uint64_t queuedBytes();
    // The file a load read up to `end`, ending in `tail`, changed at `changedAt` (st_ctim;
    // unknown: nothing was there): the writer's first look compares the path with it.
    // Before any line.
    void expectFile(TroupeLogPathWatch::Seen loaded, std::optional<TroupeLogBlockHashes> hashes);
    // After the lines queued so far, hands `take` (on this thread) the cut a reconcile reads
    // up to; `failed` gets what it threw, there is no cut then.
    void cut(std::function<void(TroupeLogCut)> take, FailureHandler failed);
    // What a reconcile up to a cut found (and the hashes of the bytes it read): the ledger's
    // lines the file lacked are appended, and the places of those it holds kept, unless the
    // file changed since that cut (another reconcile follows then) or the quit looked.
    void writeAgain(TroupeRunLedger::Comparison comparison, std::uint64_t changesAtCut,
                    std::optional<TroupeLogBlockHashes> hashes);
    // Quitting: once what is queued is written, the file at the path (a cut) and the
    // lines of this run that do not read back from it where they were written; none when
    // it holds them all. Costs a read of this run's lines, not of the log. Nothing when
    // the writer is not there by `deadline`.
    struct QuitLook {
        TroupeLogCut cut;
        std::vector<TroupeRunLedger::Line> doubtful;
        std::size_t unseen = 0;  // this run's lines not yet seen where they went: kept, not written again
    };
    std::optional<QuitLook> lookBeforeQuitting(Deadline deadline);
    // Appends `lines` of the ledger again, ahead of what is queued.
    void appendAgain(std::vector<TroupeRunLedger::Line> lines);
    // The lines queued and not written, and those being written.
    std::size_t unwrittenLines();
    // Every accepted line is also kept on this machine until the log holds it: what cannot be
    // written by the quit is not lost, and the quit's lines say so.
    void linesKeptElsewhere(bool kept) { keptElsewhere_ = kept; }
    // Blocks until no change was seen for `quiet` (or `stop` is set).
    void waitForQuiet(std::chrono::milliseconds quiet, const std::atomic<bool>& stop);
    const TroupeRunLedger& ledger() const { return *ledger_; }
    // For a reconcile that reads it while the writer may go.
    std::shared_ptr<const TroupeRunLedger> sharedLedger() const { return ledger_; }
    // The file held was deleted and the path holds no file: the lines wait.
    bool holdsLines() const { return held_.holding(); }
    // A line could not be written and waits to be tried again, and everything after it.
    bool retrying() const { return retrying_; }

   private:
    // Every call out of the writer's thread to its owner (the callbacks, the clock, the reads'
    // function) goes through here. stop() cuts it when it leaves the thread, whose calls then
    // reach nothing the owner may have destroyed since: the clock goes on as the steady
    // clock's, the callbacks do nothing and reads are pread(2)'s.
    class CallsOut {
       public:
        CallsOut(Changed changed, Appended appended, TroupeLogReadControl::ReadFunction read,
                 std::function<double()> clock);
        void changed(std::uint64_t changes);
        void appended(TroupeLogAppended appended);
        ssize_t read(int fd, void* buffer, std::size_t size, off_t offset);
        double seconds();
        // Waits for a callback under way (they are brief); a read under way is not waited for.
        void cut();

       private:
        static double steadySeconds();
        std::mutex mutex_;
        Changed changed_;
        Appended appended_;
        TroupeLogReadControl::ReadFunction read_;
        std::function<double()> clock_;
        std::atomic<bool> cut_ = false;
        double sinceCut_ = 0;  // the clock's seconds less the steady clock's, at the cut
    };
    struct Task {
        std::function<void()> job;
        FailureHandler failed;
    };
    using Job = std::variant<TroupeLogLine, Task>;

    void loop();
    std::string whatBecomesOf(std::size_t unwritten) const;
    std::vector<TroupeLogLine> takeLines();
    void runTask(Task& task);
    std::size_t unwrittenLinesLocked() const;
    void waitAtRest(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point lastSync);
    void enqueue(Job job);
    void changed(std::uint64_t changes);
    void queueFront(std::vector<TroupeRunLedger::Line> lines);
    void writeMissing(std::vector<TroupeRunLedger::Line> missing);
    void look(bool draining, bool sync, std::unique_lock<std::mutex>& lock);

    const std::filesystem::path file_;
    const std::shared_ptr<CallsOut> out_;
    const std::shared_ptr<TroupeRunLedger> ledger_;
    bool lookAtPath_ = true;  // a new batch or a job ran: the path may hold another file by now

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable progress_;
    std::deque<Job> jobs_;
    std::chrono::steady_clock::time_point lastChange_{};
    std::chrono::milliseconds retryIn_{};  // the back-off while a line cannot be written
    bool poked_ = false;                   // the path watch saw something at the log's name
    std::chrono::steady_clock::time_point nextLook_ =
        std::chrono::steady_clock::now() + TroupeLogPathWatch::slowPoll;
    std::uint64_t queuedBytes_ = 0;
    std::uint64_t submitted_ = 0;
    std::uint64_t done_ = 0;
    std::uint64_t synced_ = 0;  // jobs done as of the last sync
    std::uint64_t looks_ = 0;   // at the path, for whoever drains
    int draining_ = 0;
    std::uint64_t failures_ = 0;  // tries that failed
    std::atomic<bool> retrying_ = false;
    std::atomic<bool> keptElsewhere_ = false;
    bool stopping_ = false;
    std::size_t writing_ = 0;             // lines out of the queue, being written
    std::atomic<bool> quitting_ = false;  // the quit's look was asked for
    // Ends a comparison of the file's bytes under way: the quit's look, or the writer's end.
    std::atomic<bool> stopComparing_ = false;
    bool ended_ = false;  // the thread is done with everything but ending
    bool left_ = false;   // stop() gave up on the thread: it deletes the writer
    std::condition_variable endedChanged_;
    // Last but the thread: its path watch pokes the writer until it is gone.
    TroupeLogHeldFile held_;
    std::thread thread_;
};

}  // namespace tw
