#pragma once
// The troupe log file the writer holds, on the writer's thread: writing lines whole on
// lines of their own, and following the path. It knows what its own writes left (through
// its path watch), looks before each write (at the path too on a shared mount, whose own
// open for appending the write then goes through) and when told (at rest through an open
// for reading, whose close is no event), and says what it finds: lines
// another program appended are handed on (`appended`) to be read alone, any other change
// (replaced by a rename, deleted, cut short, written over, a descriptor that failed on a
// dead mount) is counted and said (`changed`), and the lines go on to the file at the
// path, one made again when it went. Each line with an id goes to the ledger with where
// it landed. When the file held was deleted and the path holds something that is no file
// (a FIFO, a folder, a link to nothing), nothing is written until it holds a file or
// nothing.
//
// What a look finds is a cheap sign: it decides how soon and how much is read, never that
// nothing need be. Whatever another program did, this run's lines are read back on their
// clock, and the file's bytes compared with their hashes on theirs (see TroupeLogNet; the
// looks are in troupe_log_held_file_changes.cpp).
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/uuid.h"
#include "troupe/store/troupe_log_block_hashes.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_held_file_unseen.h"
#include "troupe/store/troupe_log_net.h"
#include "troupe/store/troupe_log_path_watch.h"
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

// Lines another program appended to the file held: `file` (a descriptor of its own,
// sized where they end) from `from`, a line's start, seen after `changes` changes.
struct TroupeLogAppended {
    atomic_file::OpenedFile file;
    std::uint64_t from = 0;
    std::uint64_t changes = 0;
};

// A line to write, with '\n': with an id an accepted event, or one the ledger puts back.
struct TroupeLogLine {
    std::string text;
    std::optional<Uuid> id;
    std::optional<std::size_t> again;  // the ledger entry it puts back
};

class TroupeLogHeldFile {
   public:
    using Clock = std::chrono::steady_clock;
    using WriteFunction = std::function<ssize_t(int fd, const void* bytes, std::size_t size)>;
    // How long another program's line without its newline at the end of the file is given
    // to end before a line of ours goes after it; less once quitting, which must end in time.
    static constexpr std::chrono::milliseconds tornLineWait{2000};
    static constexpr std::chrono::milliseconds tornLineWaitQuitting{500};
    // How long a size below what this run's writes left (a network or cloud client's that
    // lags, on a shared mount) is given before the file is taken as cut short, on the clock of
    // `secondsClock`; how often this run's lines not yet seen where they went are looked for;
    // and how much of a quit, on that clock, they may take.
    static constexpr std::chrono::milliseconds unreachedPatience{4000};
    static constexpr std::chrono::milliseconds unreachedLookEvery{250};
    static constexpr std::chrono::milliseconds unreachedAtQuit{1000};
    // How often, on a shared mount, the file's last bytes are read when its size and times
    // are as seen: each read is a request for the last page, and a look comes at every write
    // (its own event) as well as at rest, once a slow poll.
    static constexpr std::chrono::milliseconds tailLookEvery{1500};
    enum class Written {
        yes,
        failed,   // worth retrying later
        waiting,  // for another program's line to end
    };
    using Appended = std::function<void(TroupeLogAppended)>;
    // `poke` runs on the path watch's thread when it saw something at the log's name;
    // `net` reads (and stops) the comparisons of the bytes, on the minutes of `secondsClock`.
    TroupeLogHeldFile(std::filesystem::path file, WriteFunction write, TroupeRunLedger& ledger,
                      std::function<void(std::uint64_t changes)> changed, Appended appended,
                      std::function<void()> poke, TroupeLogReadControl net = {},
                      std::function<double()> secondsClock = {});
    ~TroupeLogHeldFile();
    TroupeLogHeldFile(const TroupeLogHeldFile&) = delete;
    TroupeLogHeldFile& operator=(const TroupeLogHeldFile&) = delete;

    // `lines` with one write(2) (the caller caps them); `done` says how many were written
    // whole, all unless the result is `failed` or `waiting`. `lookAtPath`: a new batch, the
    // path may hold another file by now (on a shared mount it is looked at before every write).
    Written writeLines(std::span<const TroupeLogLine> lines, bool lookAtPath, bool quitting,
                       std::size_t& done);
    // Looks at the path (at rest, or for a drain), and reads this run's lines back, or
    // compares the file's bytes, when due (a drain: at once, and all of them).
    void look(bool draining);
    // When a read-back or a comparison of the bytes falls due (max when none waits).
    Clock::time_point nextCheck() const;
    void rearm() { watch_.rearm(); }
    void sync();
    bool dirty() const { return dirty_; }
    void markUnverified() { net_.unverify(); }
    // What a load read (and the hashes of its bytes, when it has them).
    void expect(TroupeLogPathWatch::Seen seen, std::optional<TroupeLogBlockHashes> hashes);
    TroupeLogCut cut();
    // What a reconcile up to the cut taken after `changesAtCut` changes found: the places of
    // the lines the file holds are kept (and the hashes of what it read), and the lines it
    // lacks returned; none when it changed since, or once the quit looked.
    std::vector<TroupeRunLedger::Line> placeFound(TroupeRunLedger::Comparison comparison,
                                                  std::uint64_t changesAtCut,
                                                  std::optional<TroupeLogBlockHashes> hashes);
    // This run's lines a reconcile could not read that are now known to be missing: the bytes
    // where they went were read and are not them.
    std::vector<TroupeRunLedger::Line> takeUnreached();
    // The file at the path (a cut), and this run's lines it does not hold where they were
    // written, but those not yet seen where they went (unseenLines()). A reconcile's finding
    // after it is the quit's to make.
    std::pair<TroupeLogCut, std::vector<TroupeRunLedger::Line>> lookBeforeQuitting();
    std::string lineAt(std::uint64_t offset);
    bool holding() const { return holding_; }
    // The most bytes of lines one write may carry (one line at least): on a shared mount up
    // to the end of the file's block the write starts in, which its client sends as one
    // request: another machine's save that comes between two requests of one write takes a
    // torn line of ours, and its own next line glued to it.
    std::size_t mostBytesAWrite() const {
        if (!freshReads()) return kMostBytesAWrite;
        const std::uint64_t end = watch_.seen() ? watch_.seen()->size : 0;
        return blockBytes_ - static_cast<std::size_t>(end % blockBytes_);
    }
    std::size_t unseenLines() const { return unseen_.size(); }

   private:
    bool openFile();
    // False when nothing may be written now. `opened`: the path's own open, when the look
    // at it made one (a shared mount) of the file held.
    // `toWrite`: a write follows, which goes to the path's own open (a shared mount's).
    bool followPath(atomic_file::OpenedFile* opened = nullptr, bool toWrite = false);
    void adopt(atomic_file::OpenedFile fresh, atomic_file::OpenedFile* opened);
    void sayReplaced(const std::string& what, const std::string& then);
    void lookAtHeldFile();
    void compareHeld(const struct stat& info);
    void rememberHeld(const struct stat& info, std::optional<std::uint64_t> size = std::nullopt,
                      std::optional<std::string> tail = std::nullopt);
    bool tailReadsBack();
    bool tailDue() const { return !tailSeenAt_ || Clock::now() - *tailSeenAt_ >= tailLookEvery; }
    void handOnAppended(std::uint64_t from, std::uint64_t to);
    std::optional<std::uint64_t> lastLineEnd(std::uint64_t from, std::uint64_t to);
    void readBackOurs(const atomic_file::OpenedFile& file, std::uint64_t olderBytes);
    void compareBytes(const atomic_file::OpenedFile& file, bool draining);
    atomic_file::OpenedFile readable(atomic_file::OpenedFile opened = {});
    bool statHeld(struct stat& info);
    void readAgain(const struct stat& info);
    void changedElsewhere(const struct stat& info);
    void changed();
    bool dropFailed(int error);
    std::size_t writeAll(std::string_view bytes);
    Written endTornLine(std::chrono::milliseconds wait);
    void placeWritten(std::span<const TroupeLogLine> lines, std::size_t written);
    // `placed`: `from` is where it was placed, by a write before those of the others waiting.
    void waitFor(TroupeRunLedger::Line line, std::uint64_t from, bool placed = false);
    bool dropFragment(std::size_t size);
    std::optional<std::uint64_t> landedEnd(std::string_view ours, struct stat& info);
    bool bytesAt(std::uint64_t end, std::string_view text);
    bool endsLine(std::uint64_t offset);
    std::uint64_t sizeNow();
    void report(const std::string& what, const std::string& why);

    const std::filesystem::path file_;
    const WriteFunction write_;
    TroupeRunLedger& ledger_;
    const std::function<void(std::uint64_t)> changed_;
    const Appended appended_;
    int fd_ = -1;
    bool atLineStart_ = false;      // the file is known to end with a newline (or be empty)
    bool dirty_ = false;            // written since the last sync
    bool reported_ = false;         // a failure is logged once until writing works again
    bool pathHoldsNoFile_ = false;  // said once while something else is at the path
    std::atomic<bool> holding_ = false;
    // Where the file held lies. On a mount other machines write to, what decides what the
    // file holds is read on a descriptor opened for it, which asks the server, not on the
    // one held; on a FUSE mount such descriptors are set to read directly.
    LogMount mount_ = LogMount::local;
    bool freshReads() const { return mount_ != LogMount::local; }
    static constexpr std::size_t kMostBytesAWrite = std::size_t{1} << 20;
    std::size_t blockBytes_ = kMostBytesAWrite;  // st_blksize of the file held, on a shared mount
    // A look's own open of the path there (for reading: the file held may be one renamed away
    // on the server), what the look reads through while it lasts.
    atomic_file::OpenedFile lookOn_;
    int readFd() const { return lookOn_.fd >= 0 ? lookOn_.fd : fd_; }
    std::uint64_t landedAt_ = 0;   // where this thread's last write ended (by the descriptor, when unknown)
    bool landingUnknown_ = false;  // a shared mount's size lags: ours are past what can be read yet
    bool landedVerified_ = false;  // its bytes were read back where it ended
    // Where they start, and whether a line starts there, as that read saw it.
    std::optional<std::pair<std::uint64_t, bool>> landedStart_;
    // Written to, or changed by another program however that was seen: this run's lines
    // are read back, and the bytes compared, when due (a write within the clock tick of a
    // look changes neither size nor time).
    TroupeLogNet net_;
    // Another program's line without its end at the end of the file, since when; a fragment
    // of ours that could not be taken back ends where the file did then.
    std::optional<Clock::time_point> tornSince_;
    std::optional<std::uint64_t> ownFragmentEnd_;
    // When the file's last bytes were last read as seen (or a line of ours read back there).
    std::optional<Clock::time_point> tailSeenAt_;
    bool quitLooked_ = false;
    // A file renamed over the log is said once a minute at most, with how often.
    std::optional<Clock::time_point> replacedSaidAt_;
    std::uint64_t replacedUnsaid_ = 0;
    // Changes seen: the ledger's places of lines count in the file only as of the last.
    std::uint64_t changes_ = 0;
    // This run's lines a reconcile's read did not reach (or a write of ours left past the size
    // its file system told).
    TroupeLogUnseenLines unseen_;
    double unseenAddedAt_ = 0;          // on net_'s clock: they are looked for often a while after
    std::uint64_t writes_ = 0;          // writes of lines so far
    std::optional<double> shortSince_;  // the size below what this run's writes left, on net_'s clock
    TroupeLogPathWatch watch_;
};

}  // namespace tw
