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

}  // namespace

TroupeRunLedger::TroupeRunLedger(const std::filesystem::path& folder) {
    std::error_code ignored;
    fd_ = openUnlinked(folder);
    if (fd_ < 0) fd_ = openUnlinked(std::filesystem::temp_directory_path(ignored));
}

TroupeRunLedger::~TroupeRunLedger() {
    if (fd_ >= 0) ::close(fd_);
}

void TroupeRunLedger::record(const Uuid& id, std::string_view line) {
    Entry entry{id, end_, static_cast<std::uint32_t>(line.size()), fd_ >= 0};
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

std::size_t TroupeRunLedger::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::string TroupeRunLedger::read(const Entry& entry) const {
    if (!entry.kept) return inMemory_.substr(entry.offset, entry.length);
    std::string text(entry.length, '\0');
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n =
            ::pread(fd_, text.data() + done, text.size() - done, static_cast<off_t>(entry.offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw std::runtime_error(std::string("cannot read this run's events back: ") +
                                     std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
    return text;
}

std::vector<TroupeRunLedger::Line> TroupeRunLedger::linesMissingFrom(const TroupeEventIndex* held,
                                                                     std::size_t count) const {
    std::vector<Line> lines;
    std::lock_guard lock(mutex_);
    count = std::min(count, entries_.size());
    for (std::size_t i = 0; i < count; ++i) {
        const Entry& entry = entries_[i];
        if (held == nullptr || !held->contains(entry.id)) lines.push_back(Line{entry.id, read(entry)});
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
