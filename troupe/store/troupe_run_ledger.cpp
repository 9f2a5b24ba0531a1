#include "troupe/store/troupe_run_ledger.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
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

// All of `size` bytes at `offset`, or false.
bool readAll(int fd, char* into, std::size_t size, std::uint64_t offset) {
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(fd, into + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Lines read back at most this many bytes at a time.
constexpr std::uint64_t kReadBackSpan = std::uint64_t{1} << 20;

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
    Entry entry{id, end_, kNowhere, 0, static_cast<std::uint32_t>(line.size()), fd_ >= 0};
    if (place) {
        entry.logOffset = place->offset;
        entry.logEpoch = static_cast<std::uint32_t>(place->epoch);
    }
    for (std::size_t done = 0; entry.kept && done < line.size();) {
        const ssize_t n =
            ::pwrite(fd_, line.data() + done, line.size() - done, static_cast<off_t>(end_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) entry.kept = false;
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::lock_guard lock(mutex_);
    if (entry.kept) {
        end_ += line.size();
    } else {
        if (!std::exchange(saidInMemory_, true))
            log::system(std::string("Cannot keep this run's troupe events in a file of their own (") +
                        (fd_ < 0 ? "none could be made" : std::strerror(errno)) +
                        "); they are kept in memory");
        entry.offset = inMemory_.size();
        inMemory_.append(line);
    }
    entries_.push_back(entry);
}

void TroupeRunLedger::place(std::size_t entry, Place place) {
    std::lock_guard lock(mutex_);
    if (entry >= entries_.size()) return;
    entries_[entry].logOffset = place.offset;
    entries_[entry].logEpoch = static_cast<std::uint32_t>(place.epoch);
}

std::size_t TroupeRunLedger::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::string TroupeRunLedger::read(const Entry& entry) const {
    if (!entry.kept) return inMemory_.substr(entry.offset, entry.length);
    std::string text(entry.length, '\0');
    if (!readAll(fd_, text.data(), text.size(), entry.offset))
        throw std::runtime_error(std::string("cannot read this run's events back: ") + std::strerror(errno));
    return text;
}

// The lines of entries [from, to), `bytes` in all, one after another: one read when they
// lie so in the file.
std::string TroupeRunLedger::readSpan(std::size_t from, std::size_t to, std::uint64_t bytes) const {
    const Entry& first = entries_[from];
    const Entry& last = entries_[to - 1];
    if (!first.kept || !last.kept || last.offset + last.length - first.offset != bytes) {
        std::string text;
        for (std::size_t i = from; i < to; ++i) text += read(entries_[i]);
        return text;
    }
    std::string text(bytes, '\0');
    if (!readAll(fd_, text.data(), text.size(), first.offset))
        throw std::runtime_error(std::string("cannot read this run's events back: ") + std::strerror(errno));
    return text;
}

TroupeRunLedger::Comparison TroupeRunLedger::compareWith(const TroupeEventIndex& held,
                                                         std::size_t count) const {
    Comparison comparison;
    std::lock_guard lock(mutex_);
    count = std::min(count, entries_.size());
    for (std::size_t i = 0; i < count; ++i) {
        const Entry& entry = entries_[i];
        if (auto offset = held.find(entry.id))
            comparison.found.emplace_back(i, *offset);
        else
            comparison.missing.push_back(Line{entry.id, read(entry), i});
    }
    return comparison;
}

std::vector<TroupeRunLedger::Line> TroupeRunLedger::notReadingBack(int fd, std::size_t count) const {
    std::lock_guard lock(mutex_);
    return readBack(fd, std::nullopt, std::min(count, entries_.size()), true);
}

bool TroupeRunLedger::placedLinesReadBack(int fd, std::uint64_t epoch) const {
    std::lock_guard lock(mutex_);
    return readBack(fd, epoch, entries_.size(), false).empty();
}

// The lines of the first `count` entries that do not read back (placed after `epoch` changes,
// or anywhere); under the mutex.
std::vector<TroupeRunLedger::Line> TroupeRunLedger::readBack(int fd, std::optional<std::uint64_t> epoch,
                                                             std::size_t count, bool unplacedToo) const {
    std::vector<Line> lines;
    const auto placed = [&](const Entry& entry) {
        return entry.logOffset != kNowhere &&
               (!epoch || entry.logEpoch == static_cast<std::uint32_t>(*epoch));
    };
    std::string held;
    for (std::size_t from = 0; from < count;) {
        if (!placed(entries_[from])) {
            if (unplacedToo) lines.push_back(Line{entries_[from].id, read(entries_[from]), from});
            ++from;
            continue;
        }
        // A run of lines that follow each other in the log, read back at once.
        std::size_t to = from + 1;
        std::uint64_t bytes = entries_[from].length;
        while (to < count && placed(entries_[to]) && bytes < kReadBackSpan &&
               entries_[to].logOffset == entries_[to - 1].logOffset + entries_[to - 1].length) {
            bytes += entries_[to].length;
            ++to;
        }
        // With the byte before, which must end a line: else the first is glued to another's.
        const std::string text = readSpan(from, to, bytes);
        const std::uint64_t before = entries_[from].logOffset > 0 ? 1 : 0;
        held.resize(text.size() + before);
        const bool whole = fd >= 0 &&
                           readAll(fd, held.data(), held.size(), entries_[from].logOffset - before) &&
                           (before == 0 || held[0] == '\n');
        std::size_t at = 0;
        for (std::size_t i = from; i < to; at += entries_[i].length, ++i) {
            const std::string_view line = std::string_view(text).substr(at, entries_[i].length);
            if (!whole || std::string_view(held).substr(before + at, line.size()) != line)
                lines.push_back(Line{entries_[i].id, std::string(line), i});
        }
        from = to;
    }
    return lines;
}

std::optional<std::string> TroupeRunLedger::lineOf(const Uuid& id) const {
    std::lock_guard lock(mutex_);
    for (const Entry& entry : entries_) {
        if (entry.id == id) return read(entry);
    }
    return std::nullopt;
}

std::uint64_t TroupeRunLedger::memoryBytes() const {
    std::lock_guard lock(mutex_);
    return entries_.capacity() * sizeof(Entry) + inMemory_.capacity();
}

}  // namespace tw
