#pragma once
// This run's lines not yet seen where they went: written past a size that lags the file's
// bytes (a network or cloud client's, on a shared mount), or past what a reconcile could
// read. Each is looked for at the looks after, from where it may start on to the size the
// file system tells by then, and a reconcile's read finds it by id anywhere in the file.
//
// None is taken for gone on time alone: a size may lag for as long as it likes, and a line
// written again that was only late is there twice. One is gone, to be written again, only
// once the bytes where it went are read and are not it: from the first byte it may start at
// to where a later line of ours starts, placed in the same file since (so it went before
// that). Else it waits, kept by this run until the log is seen to hold it. One that went to a
// file changed since (a save renamed over it, say) is gone once a read by id of the file now
// at the path lacks it up to where a later line of ours was seen to land there: the file
// held all it holds of the older one by then.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "troupe/store/troupe_run_ledger.h"

namespace tw {

class TroupeLogUnseenLines {
   public:
    // `line` went to the file held after `epoch` changes, from `from` on, with the write
    // numbered `write` (0: before any waiting, `from` being where it was placed).
    void add(TroupeRunLedger::Line line, std::uint64_t from, std::uint64_t epoch, std::uint64_t write);
    bool contains(std::size_t entry) const;
    bool empty() const { return waiting_.empty(); }
    std::size_t size() const { return waiting_.size(); }
    // A line of ours written by the write numbered `write` was placed at `offset` after
    // `epoch` changes: those that went to that file before it end there at the latest, and
    // where its bytes were `verified`, those that went to one before the change too.
    void placedLater(std::uint64_t epoch, std::uint64_t offset, std::uint64_t write, bool verified);
    // Found by a read by id: not waited for any more.
    void found(std::size_t entry);
    // Whether nothing of `entry`'s line can be at or past `reach` of the file after `epoch`
    // changes: a reconcile's read up to there that lacks it finds it gone.
    bool endsWithin(std::size_t entry, std::uint64_t epoch, std::uint64_t reach) const;
    // Those a reconcile's read lacked that ended within it, out of the waiting.
    std::vector<TroupeRunLedger::Line> takeEndedWithin(const std::vector<TroupeRunLedger::Line>& lacked,
                                                       std::uint64_t epoch, std::uint64_t reach);

    struct Taken {
        std::vector<std::pair<std::size_t, std::uint64_t>> found;  // entry, offset
        std::vector<TroupeRunLedger::Line> gone;
    };
    // Looked for in the file open on `fd`, `size` bytes after `epoch` changes; `fresh`: its
    // pages here may be stale (a shared mount). Only when the size moved since the last look.
    Taken lookIn(int fd, std::uint64_t size, std::uint64_t epoch, bool fresh);

   private:
    struct Waiting {
        TroupeRunLedger::Line line;
        std::uint64_t from = 0;
        std::uint64_t epoch = 0;
        std::uint64_t write = 0;
        std::optional<std::uint64_t> endsBy;
        std::optional<std::pair<std::uint64_t, std::uint64_t>> endsByLater;  // epoch, offset: since a change
        std::optional<std::pair<std::uint64_t, std::uint64_t>> lookedAt;     // epoch, size
    };
    std::vector<Waiting> waiting_;
};

// Where `line` starts a line of the file open on `fd` between `from` and `to`, looked for in
// one read of 4 MiB at most (the last of the span, from `to` back, when `back`).
std::optional<std::uint64_t> troupeLogLineFrom(int fd, std::uint64_t from, std::uint64_t to,
                                               std::string_view line, bool fresh, bool back = false);

}  // namespace tw
