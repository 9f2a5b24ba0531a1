#pragma once
// This run's accepted events by id, each with where its line can be read again: a file
// of this run's own (unlinked from the start, in the log's folder or else the temporary
// one) that gets every line as it goes to the log. Whatever happens to the log file
// (replaced, deleted, cut short, written over), what this run accepted can be put back
// in it. Memory is an entry per event (id, offset, length), never the line, unless no
// such file can be made or written: then the lines are kept in memory, said once.
//
// record() is the writer thread's; the rest is thread-safe.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/uuid.h"
#include "troupe/store/troupe_event_index.h"

namespace tw {

class TroupeRunLedger {
   public:
    struct Line {
        Uuid id;
        std::string text;  // with its newline
    };

    explicit TroupeRunLedger(const std::filesystem::path& folder);
    ~TroupeRunLedger();
    TroupeRunLedger(const TroupeRunLedger&) = delete;
    TroupeRunLedger& operator=(const TroupeRunLedger&) = delete;

    // Keeps `line` (with its newline) as the next entry.
    void record(const Uuid& id, std::string_view line);
    std::size_t size() const;
    // The lines of the first `count` entries whose ids `held` lacks, in the order accepted;
    // all of them without an index.
    std::vector<Line> linesMissingFrom(const TroupeEventIndex* held, std::size_t count) const;
    // The line of `id` (with its newline), when this run accepted it. Looks through every
    // entry: for the rare event accepted again.
    std::optional<std::string> lineOf(const Uuid& id) const;
    // What the entries take in memory (the lines kept there included).
    std::uint64_t memoryBytes() const;

   private:
    struct Entry {
        Uuid id;
        std::uint64_t offset = 0;  // in the file, or in `inMemory_` when `kept` is false
        std::uint32_t length = 0;
        bool kept = true;
    };
    std::string read(const Entry& entry) const;

    int fd_ = -1;
    std::uint64_t end_ = 0;
    bool saidInMemory_ = false;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::string inMemory_;
};

}  // namespace tw
