#pragma once
// This run's accepted troupe lines on this machine's own disk until the log is seen to hold
// them: the log may sit on a shared mount that stops answering, and a writer queue dies
// with the process. One file a run in the keep folder (local state, never beside the log),
// "<16 hex digits of a hash of the log's absolute path>-<pid>-<random>.jsonl", whose first
// line names the log, held under flock(LOCK_EX) while the run lives. Each line goes there
// with one write as it is accepted (on an O_APPEND descriptor, a local disk: microseconds,
// and no sync: a crash or kill -9 of the app loses none of them).
//
// A file of the same log whose lock can be taken is an orphan: the run that kept it is gone.
// takeOrphans() holds their locks and reads their lines, which the caller writes where the
// log lacks them and keeps as its own; endOrphans() then deletes them. A file or a line that
// cannot be read is said, left where it is, and not read again by this run.
//
// Main thread only.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "troupe/event_model/troupe_event.h"

namespace tw {

class TroupeLogKeep {
   public:
    struct KeptLine {
        TroupeEvent event;
        std::string line;  // without its newline
    };

    TroupeLogKeep(std::filesystem::path folder, const std::filesystem::path& logFile);
    // Leaves the file: what it holds is the next start's to write.
    ~TroupeLogKeep();
    TroupeLogKeep(const TroupeLogKeep&) = delete;
    TroupeLogKeep& operator=(const TroupeLogKeep&) = delete;

    // Keeps `line` (without its newline) with one write; the file is made with the first.
    void keep(std::string_view line);
    // Every line given so far is kept.
    bool whole() const { return whole_; }
    // The lines in this run's file.
    std::size_t lines() const { return lines_; }
    const std::filesystem::path& file() const { return file_; }
    // The log is seen to hold every line kept: the file goes. A later line makes another.
    void drop();

    // Locks and reads the orphans of the log; their lines, in the order kept.
    const std::vector<KeptLine>& takeOrphans();
    const std::vector<KeptLine>& orphanLines() const { return orphanLines_; }
    bool holdsOrphans() const { return !orphans_.empty(); }
    // The start of an orphan's line that the log at `logFile` ends with (a write cut short) is
    // taken back off, said in the app's log.
    void takeBackFragment(const std::filesystem::path& logFile) const;
    // Deletes the orphans taken whose every line was read (with `remove`), and lets them all go.
    void endOrphans(bool remove);

   private:
    struct Orphan {
        std::filesystem::path file;
        int fd = -1;
        bool whole = true;
    };
    bool open();
    bool fail(const std::string& why);  // false
    void readOrphan(Orphan& orphan);
    void leave(Orphan& orphan, const std::string& why);

    const std::filesystem::path folder_;
    const std::filesystem::path logFile_;  // absolute
    const std::string prefix_;             // of this log's files
    const std::string header_;             // the first line of each, with its newline
    std::filesystem::path file_;
    int fd_ = -1;
    std::uint64_t end_ = 0;
    std::size_t lines_ = 0;
    bool whole_ = true;
    bool saidFailure_ = false;
    std::vector<Orphan> orphans_;
    std::vector<KeptLine> orphanLines_;
    std::set<std::filesystem::path> left_;  // said and left: not read again
};

}  // namespace tw
