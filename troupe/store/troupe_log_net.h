#pragma once
// The net under the troupe log's looks, on the writer's thread: what no look at the held
// file's stat tells (another program's line written over with its times put back, or on a
// mount that tells nothing) shows in its bytes, and this run's lines are read back.
//
// It keeps the hashes of the held file's bytes and the file (identity, size, times) as its
// bytes were last found to hash so. This run's own appends move both forward (the appended
// bytes alone are hashed), but only from the file as so found: a write of ours onto a file
// that moved otherwise since is no append of ours alone. Anything else that moved it
// starts a pass that compares the bytes with the hashes once a minute, bytesAMinute at a
// time, round the file from where the last slice stopped: a small log whole within the
// minute, a big one within a minute more for every bytesAMinute. A pass that cannot read
// leaves the record as it was before it, so the next one compares again. Hashes dropped (a
// write of ours cut short, a read that failed) are taken again by such a pass; as nothing
// vouched for the file meanwhile, the pass then has it read again whole, unless a
// reconcile's read brought them first.
//
// This run's lines are read back on a clock of their own: each new line at the first
// read-back after it was written, the older ones round the run, ownBytesAMinute a minute at
// most (up to ownBytesAtOnce saved up while nothing was read back).
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "troupe/store/troupe_log_block_hashes.h"
#include "troupe/store/troupe_log_path_watch.h"
#include "troupe/store/troupe_log_read_control.h"

namespace tw {

class TroupeLogNet {
   public:
    using Steady = std::chrono::steady_clock;
    using Seen = TroupeLogPathWatch::Seen;
    // This run's lines read back no more often than this.
    static constexpr std::chrono::seconds readBackEvery{5};
    // The bytes of this run's older lines read back a minute at most (and as many again of
    // its own copy): what no look tells, a write over one in the instant before a write of
    // ours, is found within a minute for every so many bytes of them.
    static constexpr std::uint64_t ownBytesAMinute = std::uint64_t{4} << 20;
    static constexpr std::uint64_t ownBytesAtOnce = std::uint64_t{1} << 20;
    // The bytes compared no more often than this, and no more of them each time: a sync tool
    // touching a big log every second must not make the net read it all again and again.
    static constexpr std::chrono::seconds everyMinute{60};
    static constexpr std::uint64_t bytesAMinute = std::uint64_t{32} << 20;

    // `control` reads (and stops) the passes and the hashing; `secondsClock` says seconds on
    // a clock that never goes back (the steady clock's when none).
    TroupeLogNet(TroupeLogReadControl control, std::function<double()> secondsClock);

    // Seconds on the clock the net goes by.
    double secondsNow() const;
    void unverify() { unverified_ = true; }
    // When this run's lines are to be read back now: the bytes of older lines that may be
    // read back besides the new ones (all when draining). The clock restarts then.
    std::optional<std::uint64_t> readBackDue(bool draining);
    // So many bytes of older lines were read back.
    void readBack(std::uint64_t olderBytes);

    // What a load read, and the hashes of its bytes (kept when they are of `seen.size`).
    void expect(const Seen& seen, std::optional<TroupeLogBlockHashes> hashes);
    // The hashes of what a reconcile read of the held file `fd`, on to `size` (what the
    // writer knows it holds); when they run past it, up to it.
    void take(int fd, std::optional<TroupeLogBlockHashes> hashes, std::uint64_t size);
    // The hashes are no longer known to be the file's. After a change, a reconcile's read
    // brings them again; else (`blind`: bytes of ours taken back, a read that failed) nothing
    // vouches for the file until a pass a minute on takes them again and has it read again.
    void forget(bool blind = true);
    // Another program moved the file otherwise than a change: compared on the minute.
    void noticed();
    // The held file `fd`, as `before` said just before the write, grew to `end` (as `info`
    // says) with `ours` at its end, written from `from`; `alone`: nothing else came after
    // what was seen before it.
    void wrote(int fd, const struct stat& before, const struct stat& info, std::uint64_t from,
               std::uint64_t end, std::string_view ours, bool alone);
    // Lines another program appended, hashed on to `end`.
    void appended(int fd, std::uint64_t end);

    // Whether a pass's next slice is due (draining: at once); its minute starts when so.
    bool sliceDue(bool draining);
    enum class Found { same, differs, notYet };
    // The next slice of the pass on `fd` (a descriptor to read what decides), stat `info`,
    // of which the writer knows `known` bytes: the whole rest of the pass when draining.
    Found slice(int fd, const struct stat& info, std::uint64_t known, bool draining);
    // When a read-back or a slice falls due (max when none waits).
    Steady::time_point nextCheck() const;

   private:
    // Made whole where a pass starts (no member initialisers: clang judges a nested class
    // before its enclosing one is complete).
    struct Pass {
        std::size_t compared;                        // blocks
        std::optional<TroupeLogBlockHashes> taking;  // the hashes taken again so far, up to `to`
        std::uint64_t to;
        std::optional<Seen> before;  // the record when it started: back to it when the pass fails
    };
    void extend(int fd, std::uint64_t to, std::string_view known = {});
    std::optional<Found> compare(int fd, bool draining);
    std::optional<Found> takeAgain(int fd, std::uint64_t known, bool draining);

    const TroupeLogReadControl control_;
    const std::function<double()> secondsClock_;
    bool unverified_ = false;
    std::optional<double> lastReadBack_;  // on secondsNow()
    double ownBudget_ = ownBytesAtOnce;   // of older lines, as of lastReadBack_
    std::optional<TroupeLogBlockHashes> hashes_;
    // The file as its bytes were last found to hash as `hashes_` say (or as a pass found it
    // at its start); `moved_`: anything but our appends may have moved it since.
    std::optional<Seen> record_;
    bool moved_ = false;
    // The hashes were dropped with no reconcile's read to bring them: whatever changed
    // meanwhile is in the bytes a pass takes them from again.
    bool blind_ = false;
    std::optional<Pass> pass_;
    std::size_t nextBlock_ = 0;  // where the next slice compares from
    double lastSlice_ = 0;
};

}  // namespace tw
