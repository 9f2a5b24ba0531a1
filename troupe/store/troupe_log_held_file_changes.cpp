// How the file held is looked at: what a look at its stat and tail finds, this run's lines
// read back, and its bytes compared with their hashes, each on its own clock.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_held_file.h"

namespace tw {

void TroupeLogHeldFile::look(bool draining) {
    if (fd_ < 0 && !watch_.seen()) return;
    // On a shared mount the look opens the path, which asks the server: the reads use it.
    atomic_file::OpenedFile opened;
    followPath(freshReads() ? &opened : nullptr);
    if (quitLooked_ || fd_ < 0) return;  // the quit read this run's lines back already
    const auto readBack = net_.readBackDue(draining);
    const bool slice = watch_.seen() && net_.sliceDue(draining);
    if (!readBack && !slice) return;
    const atomic_file::OpenedFile file = readable(std::move(opened));
    if (file.status != atomic_file::ReadStatus::ok) return;
    if (readBack) readBackOurs(file, *readBack);
    if (slice && fd_ >= 0 && watch_.seen()) compareBytes(file, draining);
}

TroupeLogHeldFile::Clock::time_point TroupeLogHeldFile::nextCheck() const {
    if (fd_ < 0 || quitLooked_) return Clock::time_point::max();
    // A size that lags what this run wrote is looked at again soon; lines of ours unseen for
    // long at the looks at rest (slowPoll), and when a change is seen.
    const bool soon =
        shortSince_ || (!unseen_.empty() && net_.secondsNow() - unseenAddedAt_ <
                                                std::chrono::duration<double>(unreachedPatience).count());
    return soon ? std::min(net_.nextCheck(), Clock::now() + unreachedLookEvery) : net_.nextCheck();
}

// This run's new lines where they were written, and `olderBytes` of the older ones: another
// program's write over one of them (or a line of ours that went wrong) is a change.
void TroupeLogHeldFile::readBackOurs(const atomic_file::OpenedFile& file, std::uint64_t olderBytes) {
    if (!watch_.seen()) return;
    std::uint64_t left = olderBytes;
    const bool back = ledger_.recentLinesReadBack(file.fd, changes_, left);
    net_.readBack(olderBytes - left);
    if (back) return;
    if (struct stat info{}; statHeld(info)) readAgain(info);
}

// What no look tells (another program's line written over with an append after it, or
// with its times put back, on a mount that tells nothing): the bytes hash otherwise. A
// touch hashes as before and costs a pass.
void TroupeLogHeldFile::compareBytes(const atomic_file::OpenedFile& file, bool draining) {
    struct stat info {};
    if (!statHeld(info)) return;  // tried again in a minute
    if (net_.slice(file.fd, info, watch_.seen()->size, draining) == TroupeLogNet::Found::differs)
        readAgain(info);
}

// The file held, on a descriptor of its own to read what decides what it holds: opened
// again on a mount other machines write to (`opened`, when a look at the path just did).
atomic_file::OpenedFile TroupeLogHeldFile::readable(atomic_file::OpenedFile opened) {
    struct stat held {};
    struct stat other {};
    if (freshReads() && opened.status == atomic_file::ReadStatus::ok && ::fstat(fd_, &held) == 0 &&
        ::fstat(opened.fd, &other) == 0 &&
        atomic_file::FileIdentity::of(held) == atomic_file::FileIdentity::of(other))
        return opened;
    return logOnItsOwnDescriptor(fd_, file_, freshReads());
}

// The held file's `info`; false (a descriptor that failed for good let go) when fstat fails.
bool TroupeLogHeldFile::statHeld(struct stat& info) {
    if (::fstat(readFd(), &info) == 0) return true;
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
    // Smaller than this run's writes left it, on a shared mount: a size that lags its bytes
    // (a network or cloud client's) until it has stayed so for unreachedPatience.
    if (freshReads() && watch_.seen() && watch_.sameFile(info) &&
        static_cast<std::uint64_t>(info.st_size) < from) {
        const double now = net_.secondsNow();
        if (!shortSince_) shortSince_ = now;
        if (now - *shortSince_ < std::chrono::duration<double>(unreachedPatience).count()) return;
    }
    shortSince_.reset();
    switch (watch_.look(info, [&] { return tailReadsBack(); })) {
        case TroupeLogLook::same:
            // On a shared mount a file renamed over the log may keep the name's inode number,
            // its size and, to the tick of a coarse clock, its times: its last bytes tell.
            if (freshReads() && watch_.seen() && !watch_.seen()->tail.empty() && tailDue() &&
                !tailReadsBack())
                return changedElsewhere(info);
            return;
        case TroupeLogLook::metadata:
        case TroupeLogLook::rewritten:
            // Most likely a sync tool's or a touch: taken as they are, the bytes checked on
            // their clocks.
            watch_.rememberTimes(info);
            net_.noticed();
            return;
        case TroupeLogLook::appended: {
            atLineStart_ = false;  // another writer may have left a line torn
            // Whole lines only: the rest of one still being written is read once it ends.
            const std::optional<std::uint64_t> end =
                lastLineEnd(from, static_cast<std::uint64_t>(info.st_size));
            // Bytes the size tells that cannot be read: the descriptor holds another file than
            // the one stat told of (on a mount that answers by path, one saved over the log
            // between its open and the stat), or it was cut short since.
            if (!end) return freshReads() ? changedElsewhere(info) : readAgain(info);
            rememberHeld(info, *end);
            handOnAppended(from, *end);
            net_.appended(readFd(), *end);
            return;
        }
        case TroupeLogLook::changed:
            if (freshReads()) return changedElsewhere(info);
            readAgain(info);
            return;
    }
}

// Where inode numbers follow names, another machine's save renamed over the log looks like
// this: the same file, no longer holding what was written to it. Said, and read again.
void TroupeLogHeldFile::changedElsewhere(const struct stat& info) {
    sayReplaced("no longer holds what this run wrote to it (saved over or cut short elsewhere)",
                "reading it again");
    readAgain(info);
}

// Where the last whole line in [from, to) of the file held ends (`from` when none does);
// none when those bytes cannot all be read.
std::optional<std::uint64_t> TroupeLogHeldFile::lastLineEnd(std::uint64_t from, std::uint64_t to) {
    char buffer[4096];
    for (std::uint64_t end = to; end > from;) {
        const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer, end - from));
        if (::pread(readFd(), buffer, size, static_cast<off_t>(end - size)) != static_cast<ssize_t>(size))
            return std::nullopt;
        for (std::size_t i = size; i > 0; --i)
            if (buffer[i - 1] == '\n') return end - size + i;
        end -= size;
    }
    return from;
}

// Another program's lines, from a line's start up to `to`, read alone.
void TroupeLogHeldFile::handOnAppended(std::uint64_t from, std::uint64_t to) {
    if (!appended_ || to <= from) return;
    TroupeLogAppended appended{logOnItsOwnDescriptor(readFd()), from, changes_};
    appended.file.size = to;
    if (appended.file.status == atomic_file::ReadStatus::ok) appended_(std::move(appended));
}

// What the file held holds up to `size` (its size), as this thread saw it.
void TroupeLogHeldFile::rememberHeld(const struct stat& info, std::optional<std::uint64_t> size,
                                     std::optional<std::string> known) {
    const std::uint64_t end = size.value_or(static_cast<std::uint64_t>(info.st_size));
    if (known) return watch_.remember(info, end, std::move(*known));
    std::string tail(std::min<std::uint64_t>(end, troupeLogTailBytes), '\0');
    if (::pread(readFd(), tail.data(), tail.size(), static_cast<off_t>(end - tail.size())) !=
        static_cast<ssize_t>(tail.size()))
        tail.clear();  // unknown: the next growth is read as a change
    watch_.remember(info, end, std::move(tail));
}

bool TroupeLogHeldFile::tailReadsBack() {
    const auto& seen = *watch_.seen();
    std::string held(seen.tail.size(), '\0');
    const bool back =
        ::pread(readFd(), held.data(), held.size(), static_cast<off_t>(seen.size - held.size())) ==
            static_cast<ssize_t>(held.size()) &&
        held == seen.tail;
    if (back) tailSeenAt_ = Clock::now();
    return back;
}

}  // namespace tw
