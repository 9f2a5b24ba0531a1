// Writing to the file held: a line whole on a line of its own, a torn line's end, and a
// fragment of ours taken back.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <span>
#include <string>

#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_held_file.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {

// How much of `bytes` reached the file: all of it, or less with errno set.
std::size_t TroupeLogHeldFile::writeAll(std::string_view bytes) {
    const bool startKnown = watch_.seen().has_value();
    const std::uint64_t start = startKnown ? watch_.seen()->size : 0;
    // The file just before the write, as its file system has it now: the net moves its
    // record on only from the file it vouched for.
    struct stat before {};
    const bool beforeKnown = freshReads() ? statAfresh(fd_, before) : ::fstat(fd_, &before) == 0;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write_(fd_, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (written == 0) return 0;
    dirty_ = true;
    // O_APPEND: the descriptor's offset is where this write ended, and it started where the
    // file ended. Bytes between what was seen and that start are another writer's lines
    // (on line boundaries) or a change; bytes after it, the next look reads.
    const int error = errno;
    struct stat info {};
    const std::optional<std::uint64_t> end = landedEnd(bytes.substr(0, written), info);
    if (end && beforeKnown) {
        const auto ours = *end - written;
        const bool appendedBefore = startKnown && ours > start;
        const bool alone = (!startKnown || ours >= start) && static_cast<std::uint64_t>(info.st_size) >= *end;
        const bool afterALine = !startKnown || start == 0 || watch_.seen()->tail.ends_with('\n');
        // Ours alone, right after what was seen: the tail is the seen one and our bytes, unread.
        std::optional<std::string> tail;
        if (alone && startKnown && ours == start &&
            watch_.seen()->tail.size() == std::min<std::uint64_t>(start, troupeLogTailBytes)) {
            tail = watch_.seen()->tail + std::string(bytes.substr(0, written));
            tail->erase(0, tail->size() - std::min<std::size_t>(tail->size(), troupeLogTailBytes));
        }
        rememberHeld(info, *end, std::move(tail));
        if (landedVerified_) tailSeenAt_ = Clock::now();  // our line read back at the end
        // Another program's lines just before ours, from a line's end: checked by the tail
        // seen, as any append is; this run's lines are read back on their own clock.
        if (alone && appendedBefore && afterALine && endsLine(ours)) {
            handOnAppended(start, ours);
        } else if (!alone || appendedBefore) {
            atLineStart_ = false;  // what came after may be a line's start
            changed();
        }
        net_.wrote(fd_, before, info, ours, *end, bytes.substr(0, written), alone && !appendedBefore);
    } else if (landingUnknown_) {
        net_.forget(false);  // a reconcile's or a pass's read brings them again
        net_.unverify();
    } else {
        net_.forget();
        net_.unverify();
    }
    errno = error;
    return written;
}

// Where this thread's write of `ours` ended, with the file's `info`: the descriptor's offset,
// or, where the size a FUSE mount's kernel keeps lags what the file holds (another program
// appended just before), the file's end as its file system has it, when our bytes are there.
std::optional<std::uint64_t> TroupeLogHeldFile::landedEnd(std::string_view ours, struct stat& info) {
    landedAt_ = 0;
    landingUnknown_ = false;
    landedVerified_ = false;
    landedStart_.reset();
    const off_t offset = ::lseek(fd_, 0, SEEK_CUR);
    if (offset < 0 || ::fstat(fd_, &info) != 0) return std::nullopt;
    const auto end = static_cast<std::uint64_t>(offset);
    landedAt_ = end;
    // On a shared mount the pages this machine keeps may hold our bytes where its kernel
    // thought they went, a size that lagged: dropped, the reads below ask the file system.
    if (freshReads()) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    if (bytesAt(end, ours)) {
        landedVerified_ = true;
        return end;
    }
    struct stat fresh {};
    if (!statAfresh(fd_, fresh)) return end;
    const auto real = static_cast<std::uint64_t>(fresh.st_size);
    if (real > end && bytesAt(real, ours)) {
        landedVerified_ = true;
        info = fresh;
        landedAt_ = real;
        return real;
    }
    // Where a shared mount's size lags its bytes, ours lie past what can be read yet: where,
    // the next looks tell. Elsewhere a change, which the read-back finds.
    if (freshReads()) {
        landingUnknown_ = true;
        return std::nullopt;
    }
    return end;
}

// The file held holds `text` just before `end`. The same read takes the byte before it:
// whether our bytes start a line is then known without asking a shared mount again.
bool TroupeLogHeldFile::bytesAt(std::uint64_t end, std::string_view text) {
    if (end < text.size()) return false;
    const std::uint64_t from = end - text.size();
    const std::size_t before = from > 0 ? 1 : 0;
    std::string held(text.size() + before, '\0');
    if (::pread(fd_, held.data(), held.size(), static_cast<off_t>(from - before)) !=
            static_cast<ssize_t>(held.size()) ||
        std::string_view(held).substr(before) != text)
        return false;
    landedStart_ = {from, before == 0 || held.front() == '\n'};
    return true;
}

// Ends a torn last line, so the next line starts on a line of its own. Another program's
// line is given `wait` to end first: it may be writing it in pieces.
TroupeLogHeldFile::Written TroupeLogHeldFile::endTornLine(std::chrono::milliseconds wait) {
    struct stat info {};
    char last = '\n';
    int error = 0;  // of the last try: 0 when the read ended before the size told
    const auto readLast = [&] {
        if (::fstat(fd_, &info) != 0) {
            error = errno;
            return false;
        }
        const ssize_t got = info.st_size == 0 ? 1 : ::pread(fd_, &last, 1, info.st_size - 1);
        error = got < 0 ? errno : 0;
        return got == 1;
    };
    // On a shared mount a file renamed over the log since the look may end before the size
    // told: the path is looked at (and opened) again first.
    if (!readLast() && !(freshReads() && followPath(nullptr, true) && fd_ >= 0 && readLast())) {
        if (fd_ < 0) return Written::failed;
        if (!dropFailed(error))
            report("read the end of", error == 0
                                          ? "it ends before the " + std::to_string(info.st_size) +
                                                " bytes its file system tells; looking at its path again"
                                          : std::strerror(error));
        return Written::failed;
    }
    if (last != '\n') {
        // Ours, or left long ago (a crash's, a hole's zeros): nobody is still writing it.
        const bool ours = ownFragmentEnd_ == static_cast<std::uint64_t>(info.st_size);
        timespec wall{};
        ::clock_gettime(CLOCK_REALTIME, &wall);
        const auto sinceWritten = std::chrono::seconds(wall.tv_sec - info.st_mtim.tv_sec) +
                                  std::chrono::nanoseconds(wall.tv_nsec - info.st_mtim.tv_nsec);
        const bool abandoned = sinceWritten >= wait;
        const auto now = Clock::now();
        if (!ours && !abandoned && !tornSince_) tornSince_ = now;
        if (!ours && !abandoned && now - *tornSince_ < wait) return Written::waiting;
        if (writeAll("\n") != 1) {
            report("end a torn line of", std::strerror(errno));
            return Written::failed;
        }
    }
    tornSince_.reset();
    ownFragmentEnd_.reset();
    atLineStart_ = true;
    return Written::yes;
}

// Takes the start of a line that could not be written whole back off the file. False
// when it must stay: truncating failed, or another writer has appended after it.
bool TroupeLogHeldFile::dropFragment(std::size_t size) {
    const int error = errno;
    struct stat info {};
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);  // O_APPEND: just past this thread's last write
    const bool dropped = end >= static_cast<off_t>(size) && ::fstat(fd_, &info) == 0 && info.st_size == end &&
                         ::ftruncate(fd_, end - static_cast<off_t>(size)) == 0;
    net_.forget();  // the hashes held the fragment
    if (dropped && ::fstat(fd_, &info) == 0) rememberHeld(info);
    if (!dropped && end >= 0) ownFragmentEnd_ = static_cast<std::uint64_t>(end);
    errno = error;
    return dropped;
}

TroupeLogHeldFile::Written TroupeLogHeldFile::writeLines(std::span<const TroupeLogLine> lines,
                                                         bool lookAtPath, bool quitting, std::size_t& done) {
    done = 0;
    // On a shared mount every write goes to the file at the path then: a save renamed over
    // the log since the last write takes the lines, not the file it renamed away.
    if ((lookAtPath || freshReads()) && fd_ >= 0) {
        atLineStart_ = false;  // another writer may have left a line torn
        if (!followPath(nullptr, true)) return Written::failed;
    }
    if (fd_ < 0 && !openFile()) return Written::failed;
    lookAtHeldFile();  // written by another between two writes
    if (fd_ < 0 && !openFile()) return Written::failed;
    if (!atLineStart_) {
        const Written ended = endTornLine(quitting ? tornLineWaitQuitting : tornLineWait);
        if (ended != Written::yes) return ended;
    }
    std::string bytes;
    for (const auto& line : lines) bytes += line.text;
    ++writes_;
    const std::size_t written = writeAll(bytes);
    std::size_t whole = 0;  // bytes of the lines written whole
    while (done < lines.size() && whole + lines[done].text.size() <= written)
        whole += lines[done++].text.size();
    placeWritten(lines.first(done), written);
    if (written < bytes.size()) {
        // Every failure to write takes this path, a full disk, quota or file-size limit
        // included: the lines not written whole stay queued and are written whole later.
        const int error = errno;
        if (written > whole) atLineStart_ = dropFragment(written - whole);
        if (!dropFailed(error)) report("write", std::strerror(error));
        return Written::failed;
    }
    reported_ = false;
    return Written::yes;
}

// The ledger's entries of `lines`, written whole as the first bytes of the `written` that
// the last write left, with where each landed.
void TroupeLogHeldFile::placeWritten(std::span<const TroupeLogLine> lines, std::size_t written) {
    const std::uint64_t start = landedAt_ - std::min<std::uint64_t>(landedAt_, written);
    if (landingUnknown_) {
        // Each looked for from where the descriptor says on (the most a lagging size can hide).
        std::uint64_t from = start;
        for (const auto& line : lines) {
            const std::size_t entry = line.again.value_or(ledger_.size());
            if (line.id) ledger_.record(*line.id, line.text);
            if (line.id || line.again) waitFor({line.id.value_or(Uuid{}), line.text, entry}, from);
            from += line.text.size();
        }
        return;
    }
    // Another writer may have written over them between the write and the look after it.
    if (!lines.empty() && !landedVerified_) changed();
    // Where each landed, but a first one glued to a line another writer tore just before.
    // Lines of ours not yet seen went to this file before them, if to this one.
    if (!lines.empty()) unseen_.placedLater(changes_, start, writes_, landedVerified_);
    std::uint64_t at = start;
    for (const auto& line : lines) {
        std::optional<TroupeRunLedger::Place> place;
        if (at > start || endsLine(at)) place = TroupeRunLedger::Place{changes_, at};
        if (line.id) ledger_.record(*line.id, line.text, place);
        if (line.again && place) ledger_.placeAgain(*line.again, *place);
        at += line.text.size();
    }
}

// The byte before `offset` of the file held is a newline, or there is none.
bool TroupeLogHeldFile::endsLine(std::uint64_t offset) {
    if (landedStart_ && landedStart_->first == offset) return landedStart_->second;
    char last = 0;
    return offset == 0 || (::pread(fd_, &last, 1, static_cast<off_t>(offset - 1)) == 1 && last == '\n');
}

}  // namespace tw
