// How the file held is looked at: what a look at its stat and tail finds, this run's lines
// read back, and its whole bytes compared with their hashes, each on its own clock.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_held_file.h"

namespace tw {

void TroupeLogHeldFile::look(bool draining) {
    if (fd_ < 0 && !watch_.seen()) return;
    followPath();
    if (quitLooked_) return;  // the quit read this run's lines back already
    const auto now = Clock::now();
    if (fd_ >= 0 && unverified_ && (draining || now >= lastReadBack_ + readBackEvery)) readBackOurs();
    if (struct stat info{}; fd_ >= 0 && wholeFileDue(now, draining, info)) compareWholeFile(info);
}

TroupeLogHeldFile::Clock::time_point TroupeLogHeldFile::nextCheck() const {
    auto next = Clock::time_point::max();
    if (fd_ < 0 || quitLooked_) return next;
    if (unverified_) next = std::min(next, lastReadBack_ + readBackEvery);
    if (moved_ && hashes_) next = std::min(next, lastWholeFile_ + wholeFileEvery);
    return next;
}

// Every line of this run where it was written: another program's write over one of them
// (or a line of ours that went wrong) is a change.
void TroupeLogHeldFile::readBackOurs() {
    unverified_ = false;
    lastReadBack_ = Clock::now();
    if (!watch_.seen()) return;
    const atomic_file::OpenedFile file = readable();
    if (file.status != atomic_file::ReadStatus::ok || ledger_.placedLinesReadBack(file.fd, changes_)) return;
    if (struct stat info{}; statHeld(info)) readAgain(info);
}

// Whether the whole file is to be compared with its hashes now (`info`: its stat then):
// when they are known, the file moved since it last was, and a minute has passed.
bool TroupeLogHeldFile::wholeFileDue(Clock::time_point now, bool draining, struct stat& info) {
    if (!moved_ || !hashes_ || !watch_.seen()) return false;
    if (!draining && now < lastWholeFile_ + wholeFileEvery) return false;
    if (!statHeld(info)) {
        lastWholeFile_ = now;  // tried again in a minute, not at once
        return false;
    }
    moved_ = !compared_ || !compared_->describes(info);
    return moved_;
}

// What no look tells (another program's line written over with an append after it, or
// with its times put back, on a mount that tells nothing): the bytes hash otherwise. A
// touch hashes as before and costs this one read.
void TroupeLogHeldFile::compareWholeFile(const struct stat& info) {
    lastWholeFile_ = Clock::now();
    const std::uint64_t size = hashes_->size();
    const atomic_file::OpenedFile file = readable();
    const auto now = file.status == atomic_file::ReadStatus::ok && file.size >= size
                         ? hashTroupeLogFile(file.fd, size, {})
                         : std::nullopt;
    if (!now || now->size() != size) return;  // cut short or unreadable: the looks tell, or the next try
    moved_ = false;
    if (*now == *hashes_) {
        compared_ = TroupeLogPathWatch::Seen::of(info, static_cast<std::uint64_t>(info.st_size));
        return;
    }
    readAgain(info);
}

// The file held, on a descriptor of its own to read what decides what it holds: opened
// again on a mount other machines write to.
atomic_file::OpenedFile TroupeLogHeldFile::readable() {
    return logOnItsOwnDescriptor(fd_, file_, freshReads_);
}

// The held file's `info`; false (a descriptor that failed for good let go) when fstat fails.
bool TroupeLogHeldFile::statHeld(struct stat& info) {
    if (::fstat(fd_, &info) == 0) return true;
    dropFailed(errno);
    return false;
}

// The file held changed otherwise than by appends: it is read again, and another writer
// may have left a line torn.
void TroupeLogHeldFile::readAgain(const struct stat& info) {
    rememberHeld(info);
    atLineStart_ = false;
    changed();
}

// The file held as this thread's writes left it, or changed by someone else since.
void TroupeLogHeldFile::lookAtHeldFile() {
    if (struct stat info{}; watch_.seen() && statHeld(info)) compareHeld(info);
}

void TroupeLogHeldFile::compareHeld(const struct stat& info) {
    const auto from = watch_.seen() ? watch_.seen()->size : 0;
    switch (watch_.look(info, [&] { return tailReadsBack(); })) {
        case TroupeLogLook::same:
            return;
        case TroupeLogLook::metadata:
        case TroupeLogLook::rewritten:
            // Most likely a sync tool's or a touch: taken as they are, the bytes checked on
            // their clocks.
            watch_.rememberTimes(info);
            noticed();
            return;
        case TroupeLogLook::appended: {
            atLineStart_ = false;  // another writer may have left a line torn
            // Whole lines only: the rest of one still being written is read once it ends.
            const std::uint64_t end = lastLineEnd(from, static_cast<std::uint64_t>(info.st_size));
            rememberHeld(info, end);
            handOnAppended(from, end);
            extendHashes(end);
            noticed();  // the same open may have written over lines before them
            return;
        }
        case TroupeLogLook::changed:
            readAgain(info);
            return;
    }
}

// Another program changed the file held, however that was seen: this run's lines are read
// back, and the whole file compared, on their clocks.
void TroupeLogHeldFile::noticed() {
    unverified_ = true;
    moved_ = true;
}

// Where the last whole line in [from, to) of the file held ends (`from` when none does).
std::uint64_t TroupeLogHeldFile::lastLineEnd(std::uint64_t from, std::uint64_t to) {
    char buffer[4096];
    for (std::uint64_t end = to; end > from;) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, end - from));
        if (::pread(fd_, buffer, size, static_cast<off_t>(end - size)) != static_cast<ssize_t>(size))
            return to;
        for (std::size_t i = size; i > 0; --i)
            if (buffer[i - 1] == '\n') return end - size + i;
        end -= size;
    }
    return from;
}

// The hashes of the held file's bytes on up to `to`, the last of them `known` (just
// written); none when the bytes before cannot be read.
void TroupeLogHeldFile::extendHashes(std::uint64_t to, std::string_view known) {
    if (!hashes_) return;
    const std::uint64_t readTo = to - std::min<std::uint64_t>(to, known.size());
    std::string bytes;
    for (std::uint64_t at = hashes_->size(); hashes_ && at < readTo; at += bytes.size()) {
        bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(readTo - at, 1 << 16)));
        if (::pread(fd_, bytes.data(), bytes.size(), static_cast<off_t>(at)) !=
            static_cast<ssize_t>(bytes.size()))
            hashes_.reset();
        else
            hashes_->append(bytes);
    }
    if (hashes_ && hashes_->size() == readTo)
        hashes_->append(known);
    else
        hashes_.reset();
}

// Another program's lines, from a line's start up to `to`, read alone.
void TroupeLogHeldFile::handOnAppended(std::uint64_t from, std::uint64_t to) {
    if (!appended_ || to <= from) return;
    TroupeLogAppended appended{logOnItsOwnDescriptor(fd_), from, changes_};
    appended.file.size = to;
    if (appended.file.status == atomic_file::ReadStatus::ok) appended_(std::move(appended));
}

// What the file held holds up to `size` (its size), as this thread saw it.
void TroupeLogHeldFile::rememberHeld(const struct stat& info, std::optional<std::uint64_t> size,
                                     std::optional<std::string> known) {
    const std::uint64_t end = size.value_or(static_cast<std::uint64_t>(info.st_size));
    if (known) return watch_.remember(info, end, std::move(*known));
    std::string tail(std::min<std::uint64_t>(end, troupeLogTailBytes), '\0');
    if (::pread(fd_, tail.data(), tail.size(), static_cast<off_t>(end - tail.size())) !=
        static_cast<ssize_t>(tail.size()))
        tail.clear();  // unknown: the next growth is read as a change
    watch_.remember(info, end, std::move(tail));
}

bool TroupeLogHeldFile::tailReadsBack() {
    const auto& seen = *watch_.seen();
    std::string held(seen.tail.size(), '\0');
    return ::pread(fd_, held.data(), held.size(), static_cast<off_t>(seen.size - held.size())) ==
               static_cast<ssize_t>(held.size()) &&
           held == seen.tail;
}

}  // namespace tw
