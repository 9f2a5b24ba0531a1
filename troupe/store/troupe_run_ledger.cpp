#include "troupe/store/troupe_run_ledger.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/log.h"

namespace tw {

namespace {

// An unlinked file in `folder`: nobody else sees it, and it goes with the process.
int openUnlinked(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string pattern = (folder / ".troupe-run-XXXXXX").string();
    const int made = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (made >= 0) ::unlink(pattern.c_str());
    return made;
}

// Up to `size` bytes at `offset`: fewer where the file ends (`error` 0) or a read fails
// (`error` its errno).
std::size_t readUpTo(int fd, char* into, std::size_t size, std::uint64_t offset, int* error = nullptr) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, into + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error != nullptr) *error = n < 0 ? errno : 0;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Lines read back at most this many bytes at a time.
constexpr std::uint64_t kReadBackSpan = std::uint64_t{1} << 20;
// Entries copied out of the mutex at a time.
constexpr std::size_t kEntriesAtOnce = 4096;

}  // namespace

// Off the log's folder first: a mount that dies under the log takes a ledger beside it along.
TroupeRunLedger::TroupeRunLedger(const std::filesystem::path& folder) {
    std::error_code noTemporaryFolder;
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(noTemporaryFolder);
    if (!noTemporaryFolder) fd_ = openUnlinked(temporary);
    if (fd_ < 0) fd_ = openUnlinked(folder);
}

TroupeRunLedger::~TroupeRunLedger() {
    if (fd_ >= 0) ::close(fd_);
}

void TroupeRunLedger::record(const Uuid& id, std::string_view line, std::optional<Place> place) {
    Stored entry{id, kNowhere, static_cast<std::uint32_t>(line.size()), 0};
    if (place) {
        entry.logOffset = place->offset;
        entry.epochAndKept = epochBits(place->epoch);
    }
    bool kept = fd_ >= 0;
    for (std::size_t done = 0; kept && done < line.size();) {
        const ssize_t n =
            ::pwrite(fd_, line.data() + done, line.size() - done, static_cast<off_t>(end_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) kept = false;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::lock_guard lock(mutex_);
    if (entries_.size() % kBaseEvery == 0) bases_.emplace_back(end_, inMemory_.size());
    if (kept) {
        end_ += line.size();
        entry.epochAndKept |= kKept;
    } else {
        if (!std::exchange(saidInMemory_, true))
            log::system(std::string("Cannot keep this run's troupe events in a file of their own (") +
                        (fd_ < 0 ? "none could be made" : std::strerror(errno)) +
                        "); they are kept in memory");
        inMemory_.append(line);
    }
    entries_.push_back(entry);
}

void TroupeRunLedger::place(std::size_t entry, Place place) {
    std::lock_guard lock(mutex_);
    if (entry >= entries_.size()) return;
    Stored& stored = entries_[entry];
    stored.logOffset = place.offset;
    stored.epochAndKept = (stored.epochAndKept & kKept) | epochBits(place.epoch);
}

void TroupeRunLedger::placeAgain(std::size_t entry, Place place) {
    this->place(entry, place);
    placedAgain_.push_back(entry);
}

std::size_t TroupeRunLedger::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

// Entries [from, from + count) as they are now, the lines kept in memory copied into
// `memory` (their offsets then point there): read outside the mutex, which the main thread
// takes for lineOf(). Lines in the file never move once recorded.
std::vector<TroupeRunLedger::Entry> TroupeRunLedger::copyEntries(std::size_t from, std::size_t count,
                                                                 std::string& memory) const {
    std::lock_guard lock(mutex_);
    std::vector<Entry> copied;
    if (from >= entries_.size()) return copied;
    const std::size_t to = std::min(entries_.size(), from + count);
    copied.reserve(to - from);
    // Where each line is: on from the last base before the first.
    auto [inFile, inMemory] = bases_[from / kBaseEvery];
    for (std::size_t i = from / kBaseEvery * kBaseEvery; i < to; ++i) {
        const Stored& stored = entries_[i];
        const bool kept = (stored.epochAndKept & kKept) != 0;
        std::uint64_t& offset = kept ? inFile : inMemory;
        if (i >= from) {
            Entry entry{stored.id,     offset, stored.logOffset, stored.epochAndKept & ~kKept,
                        stored.length, kept};
            if (!kept) {
                entry.offset = memory.size();
                memory.append(inMemory_, offset, stored.length);
            }
            copied.push_back(entry);
        }
        offset += stored.length;
    }
    return copied;
}

// The lines of `entries` [from, to), one after another: one read when they lie so in the
// file. `memory` holds those kept there. None when this run's own file cannot give them
// (cut short, failing, or holding other bytes, as a hole's zeros), said once.
std::optional<std::string> TroupeRunLedger::readLines(const std::vector<Entry>& entries, std::size_t from,
                                                      std::size_t to, const std::string& memory) const {
    const Entry& first = entries[from];
    const Entry& last = entries[to - 1];
    std::uint64_t bytes = 0;
    for (std::size_t i = from; i < to; ++i) bytes += entries[i].length;
    std::string text;
    int error = 0;
    if (first.kept && last.kept && last.offset + last.length - first.offset == bytes) {
        text.resize(bytes);
        if (readUpTo(fd_, text.data(), text.size(), first.offset, &error) != bytes) return unreadable(error);
    } else {
        for (std::size_t i = from; i < to; ++i) {
            const Entry& entry = entries[i];
            if (!entry.kept) {
                text.append(memory, entry.offset, entry.length);
                continue;
            }
            const std::size_t at = text.size();
            text.resize(at + entry.length);
            if (readUpTo(fd_, text.data() + at, entry.length, entry.offset, &error) != entry.length)
                return unreadable(error);
        }
    }
    // Each a line: what else the file gives back is not what was written to it.
    std::size_t end = 0;
    for (std::size_t i = from; i < to; ++i) {
        end += entries[i].length;
        if (entries[i].length == 0 || text[end - 1] != '\n') return unreadable(-1);
    }
    return text;
}

// `error`: 0 the file ended early, -1 it held other bytes, else the errno of a read.
std::nullopt_t TroupeRunLedger::unreadable(int error) const {
    const std::string why = error == 0  ? "it ends early"
                            : error < 0 ? "it holds other bytes"
                                        : std::strerror(error);
    if (!saidUnreadable_.exchange(true))
        log::system("Cannot read this run's troupe events back from their own copy (" + why +
                    "); those events are looked for in the log by their ids when quitting");
    return std::nullopt;
}

TroupeRunLedger::Comparison TroupeRunLedger::compareWith(const TroupeEventIndex& held, std::size_t count,
                                                         std::uint64_t reach) const {
    Comparison comparison;
    comparison.reach = reach;
    std::string memory;
    for (std::size_t from = 0; from < count; from += kEntriesAtOnce) {
        memory.clear();
        const auto entries = copyEntries(from, std::min(kEntriesAtOnce, count - from), memory);
        if (entries.empty()) break;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& entry = entries[i];
            if (auto offset = held.find(entry.id)) {
                comparison.found.emplace_back(from + i, *offset);
            } else if (auto text = readLines(entries, i, i + 1, memory)) {
                Line line{entry.id, std::move(*text), from + i};
                if (entry.logOffset != kNowhere && entry.logOffset + entry.length > reach)
                    comparison.unreached.emplace_back(std::move(line), entry.logOffset);
                else
                    comparison.missing.push_back(std::move(line));
            }
        }
    }
    return comparison;
}

bool TroupeRunLedger::placedPast(std::size_t entry, std::uint64_t epoch, std::uint64_t reach) const {
    std::lock_guard lock(mutex_);
    if (entry >= entries_.size()) return false;
    const Stored& stored = entries_[entry];
    return stored.logOffset != kNowhere && (stored.epochAndKept & ~kKept) == epochBits(epoch) &&
           stored.logOffset + stored.length > reach;
}

std::vector<TroupeRunLedger::Line> TroupeRunLedger::notReadingBack(int fd, std::size_t count) const {
    return readBack(fd, std::nullopt, 0, count, true, false);
}

bool TroupeRunLedger::placedLinesReadBack(int fd, std::uint64_t epoch) const {
    return readBack(fd, epoch, 0, ~std::size_t{0}, false, true).empty();
}

bool TroupeRunLedger::recentLinesReadBack(int fd, std::uint64_t epoch, std::uint64_t& olderBytes) {
    const std::size_t count = size();
    const std::size_t from = std::exchange(newFrom_, count);
    const auto again = std::exchange(placedAgain_, {});
    if (olderBytes == ~std::uint64_t{0}) {
        olderAt_ = 0;
        return placedLinesReadBack(fd, epoch);
    }
    bool back = readBack(fd, epoch, from, count, false, true).empty();
    for (const std::size_t entry : again)
        back = back && (entry >= from || readBack(fd, epoch, entry, entry + 1, false, true).empty());
    // The older ones: on from where the last round stopped, then from the first, once at most.
    std::size_t at = olderAt_ < from ? olderAt_ : 0;
    for (std::size_t covered = 0; back && olderBytes > 0 && covered < from;) {
        // No further round than back to where this call began.
        std::size_t to = entriesWithin(at, std::min(from, at + (from - covered)), olderBytes);
        if (to == at) {  // a line longer than what is left: it, and no more
            to = at + 1;
            olderBytes = 0;
        }
        back = readBack(fd, epoch, at, to, false, true).empty();
        covered += to - at;
        at = to < from ? to : 0;
    }
    olderAt_ = at;
    return back;
}

// Where the entries from `from` (before `to`) reach past `bytes` of lines: those before it,
// whose bytes are taken off `bytes`.
std::size_t TroupeRunLedger::entriesWithin(std::size_t from, std::size_t to, std::uint64_t& bytes) const {
    std::lock_guard lock(mutex_);
    to = std::min(to, entries_.size());
    for (; from < to && entries_[from].length <= bytes; ++from) bytes -= entries_[from].length;
    return from;
}

// The lines of entries [first, last) that do not read back from `fd` (placed after `epoch`
// changes, or anywhere), line by line: a file that ends early costs only the lines past its
// end, an entry this run's own file cannot give back only itself. With `firstOnly`, up to
// the first that does not.
std::vector<TroupeRunLedger::Line> TroupeRunLedger::readBack(int fd, std::optional<std::uint64_t> epoch,
                                                             std::size_t first, std::size_t last,
                                                             bool unplacedToo, bool firstOnly) const {
    std::vector<Line> lines;
    const auto placed = [&](const Entry& entry) {
        return entry.logOffset != kNowhere && (!epoch || entry.logEpoch == epochBits(*epoch));
    };
    std::string memory;
    std::string held;
    for (std::size_t chunk = first; chunk < last && !(firstOnly && !lines.empty()); chunk += kEntriesAtOnce) {
        memory.clear();
        const auto entries = copyEntries(chunk, std::min(kEntriesAtOnce, last - chunk), memory);
        if (entries.empty()) break;
        std::size_t alone = 0;  // the entries before it are read one by one
        for (std::size_t from = 0; from < entries.size() && !(firstOnly && !lines.empty());) {
            if (!placed(entries[from])) {
                if (unplacedToo)
                    lines.push_back(Line{entries[from].id,
                                         readLines(entries, from, from + 1, memory).value_or(""),
                                         chunk + from});
                ++from;
                continue;
            }
            // A run of lines that follow each other in the log, read back at once.
            std::size_t to = from + 1;
            std::uint64_t bytes = entries[from].length;
            while (from >= alone && to < entries.size() && placed(entries[to]) && bytes < kReadBackSpan &&
                   entries[to].logOffset == entries[to - 1].logOffset + entries[to - 1].length) {
                bytes += entries[to].length;
                ++to;
            }
            const std::optional<std::string> ours = readLines(entries, from, to, memory);
            if (!ours && to > from + 1) {
                // One bad entry costs only itself: the run is read again entry by entry.
                alone = to;
                continue;
            }
            if (!ours) {
                // Not compared: unconfirmed, which the quit looks for by its id.
                if (unplacedToo) lines.push_back(Line{entries[from].id, "", chunk + from});
                ++from;
                continue;
            }
            // With the byte before, which must end a line: else the first is glued to another's.
            const std::string& text = *ours;
            linesReadBack_ += to - from;
            const std::uint64_t before = entries[from].logOffset > 0 ? 1 : 0;
            held.resize(text.size() + before);
            const std::size_t got =
                fd >= 0 ? readUpTo(fd, held.data(), held.size(), entries[from].logOffset - before) : 0;
            const std::string_view file(held.data(), got);
            std::size_t at = before;
            for (std::size_t i = from; i < to; at += entries[i].length, ++i) {
                const std::string_view line = std::string_view(text).substr(at - before, entries[i].length);
                const bool startsLine = at == 0 || (at <= file.size() && file[at - 1] == '\n');
                if (!startsLine || file.substr(std::min(at, file.size()), line.size()) != line)
                    lines.push_back(Line{entries[i].id, std::string(line), chunk + i});
            }
            from = to;
        }
    }
    return lines;
}

std::optional<std::string> TroupeRunLedger::lineOf(const Uuid& id) const {
    std::size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        const auto found =
            std::find_if(entries_.begin(), entries_.end(), [&](const Stored& e) { return e.id == id; });
        if (found == entries_.end()) return std::nullopt;
        index = static_cast<std::size_t>(found - entries_.begin());
    }
    std::string memory;
    const std::vector<Entry> entry = copyEntries(index, 1, memory);
    return entry.empty() ? std::nullopt : readLines(entry, 0, 1, memory);
}

std::uint64_t TroupeRunLedger::memoryBytes() const {
    std::lock_guard lock(mutex_);
    return entries_.size() * sizeof(Stored) + bases_.capacity() * sizeof(bases_[0]) + inMemory_.capacity();
}

}  // namespace tw
