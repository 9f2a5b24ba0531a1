#pragma once
// This run's accepted events by id, each with where its line can be read again: a file
// of this run's own (unlinked from the start, in the temporary folder or else the log's)
// that gets every line as it goes to the log. Whatever happens to the log file (replaced,
// deleted, cut short, written over, on a mount that died), what this run accepted can be
// put back in it. Memory is an entry of 32 bytes per event (id, place in the log, length),
// never the line, unless no such file can be made or written: then the lines are kept in
// memory, said once. Entries go in blocks, never copied as the run grows.
//
// Each entry also knows where its line stands in the log as the writer last saw it (the
// offset and the writer's count of changes then), so a quit can tell by reading those
// bytes back, at a cost in proportion to this run's lines, that the log still holds them.
//
// record(), place(), placeAgain() and recentLinesReadBack() are the writer thread's; the rest
// is thread-safe, and reads no file under the mutex that lineOf() (the main thread's) takes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/uuid.h"
#include "troupe/store/troupe_event_index.h"

namespace tw {

class TroupeRunLedger {
   public:
    struct Line {
        Uuid id;
        std::string text;       // with its newline
        std::size_t entry = 0;  // its place among the entries
    };
    // Where a line stands in the log: at `offset` of the file as it was after `epoch` changes.
    struct Place {
        std::uint64_t epoch = 0;
        std::uint64_t offset = 0;
    };

    explicit TroupeRunLedger(const std::filesystem::path& folder);
    ~TroupeRunLedger();
    TroupeRunLedger(const TroupeRunLedger&) = delete;
    TroupeRunLedger& operator=(const TroupeRunLedger&) = delete;

    // Keeps `line` (with its newline) as the next entry, written to the log at `place`.
    void record(const Uuid& id, std::string_view line, std::optional<Place> place = std::nullopt);
    // The line of `entry` stands (again) at `place`.
    void place(std::size_t entry, Place place);
    // The same, for a line just written there again: read back with the new ones.
    void placeAgain(std::size_t entry, Place place);
    std::size_t size() const;
    // The first `count` entries compared with the ids a read of the log up to `reach` found:
    // the lines it lacks, in the order accepted (but for those this run's own file cannot
    // give back), where it holds the others, and the lines it lacks that were placed past
    // `reach` (a size that lagged the bytes: not known to be missing until read there).
    struct Comparison {
        std::vector<Line> missing;
        std::vector<std::pair<std::size_t, std::uint64_t>> found;  // entry, offset
        std::vector<std::pair<Line, std::uint64_t>> unreached;     // and where it was placed
        std::uint64_t reach = ~std::uint64_t{0};
    };
    Comparison compareWith(const TroupeEventIndex& held, std::size_t count,
                           std::uint64_t reach = ~std::uint64_t{0}) const;
    // The line of `entry` was placed, after `epoch` changes, so that it ends past `reach`.
    bool placedPast(std::size_t entry, std::uint64_t epoch, std::uint64_t reach) const;
    // The lines of the entries of the first `count` that the file open on `fd` does not hold
    // where they were last placed, whatever changed since: the bytes tell, line by line (no
    // place counts as not). A line this run's own file cannot give back comes with no text.
    std::vector<Line> notReadingBack(int fd, std::size_t count) const;
    // Whether every line placed after `epoch` changes reads back from `fd` (the others, and
    // those this run's own file cannot give back, aside).
    bool placedLinesReadBack(int fd, std::uint64_t epoch) const;
    // The same for the lines recorded or placed again since the last call, and for older
    // ones, `olderBytes` of them (less what they take), on from where the last call left off
    // and round the run once at most: what following the log costs does not grow with the
    // run. A line longer than what is left of `olderBytes` is read alone and ends the call.
    bool recentLinesReadBack(int fd, std::uint64_t epoch, std::uint64_t& olderBytes);
    // The line of `id` (with its newline), when this run accepted it. Looks through every
    // entry: for the rare event accepted again.
    std::optional<std::string> lineOf(const Uuid& id) const;
    // What the entries take in memory (the lines kept there included).
    std::uint64_t memoryBytes() const;
    // The lines compared with the log so far: what following it costs.
    std::uint64_t linesReadBack() const { return linesReadBack_; }

   private:
    static constexpr std::uint64_t kNowhere = ~std::uint64_t{0};
    // As kept: where its line is in this run's file (or in `inMemory_`) is the sum of the
    // lengths before it there, from the bases kept every kBaseEvery entries.
    struct Stored {
        Uuid id;
        std::uint64_t logOffset = kNowhere;
        std::uint32_t length = 0;
        std::uint32_t epochAndKept = 0;  // the epoch's low 31 bits (a place of another is stale); kKept
    };
    static_assert(sizeof(Stored) == 32);
    static constexpr std::uint32_t kKept = std::uint32_t{1} << 31;
    static constexpr std::size_t kBaseEvery = 4096;
    // As read: with where its line is.
    struct Entry {
        Uuid id;
        std::uint64_t offset = 0;  // in the file, or in the caller's memory when `kept` is false
        std::uint64_t logOffset = kNowhere;
        std::uint32_t logEpoch = 0;
        std::uint32_t length = 0;
        bool kept = true;
    };
    static std::uint32_t epochBits(std::uint64_t epoch) { return static_cast<std::uint32_t>(epoch) & ~kKept; }
    std::vector<Entry> copyEntries(std::size_t from, std::size_t count, std::string& memory) const;
    std::optional<std::string> readLines(const std::vector<Entry>& entries, std::size_t from, std::size_t to,
                                         const std::string& memory) const;
    std::nullopt_t unreadable(int error) const;
    std::vector<Line> readBack(int fd, std::optional<std::uint64_t> epoch, std::size_t first,
                               std::size_t last, bool unplacedToo, bool firstOnly) const;
    std::size_t entriesWithin(std::size_t from, std::size_t to, std::uint64_t& bytes) const;

    int fd_ = -1;
    std::uint64_t end_ = 0;
    mutable std::atomic<std::uint64_t> linesReadBack_ = 0;
    bool saidInMemory_ = false;
    mutable std::atomic<bool> saidUnreadable_ = false;
    mutable std::mutex mutex_;
    std::deque<Stored> entries_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bases_;  // file and memory offsets
    std::string inMemory_;
    // The read-back's own, on the writer thread: the first entry not yet read back, the
    // entries placed again since, and where the older ones' round goes on.
    std::size_t newFrom_ = 0;
    std::vector<std::size_t> placedAgain_;
    std::size_t olderAt_ = 0;
};

}  // namespace tw
