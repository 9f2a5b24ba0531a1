#include "troupe/store/troupe_log_held_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>
#include <thread>
#include <utility>

#include "platform/log.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {
// A descriptor whose file system went (a FUSE daemon that died, a stale NFS handle, a
// device pulled): nothing more can be done with it, while its path may work again.
bool failedForGood(int error) {
    return error == EIO || error == ENOTCONN || error == ESTALE || error == ENODEV;
}
}  // namespace

TroupeLogHeldFile::TroupeLogHeldFile(std::filesystem::path file, WriteFunction write, TroupeRunLedger& ledger,
                                     std::function<void(std::uint64_t)> changed, Appended appended,
                                     std::function<void()> poke, TroupeLogReadControl net,
                                     std::function<double()> secondsClock)
    : file_(std::move(file)),
      write_(write ? std::move(write) : WriteFunction(::write)),
      ledger_(ledger),
      changed_(std::move(changed)),
      appended_(std::move(appended)),
      net_(std::move(net), std::move(secondsClock)),
      watch_(file_, std::move(poke)) {}

TroupeLogHeldFile::~TroupeLogHeldFile() {
    if (fd_ >= 0) ::close(fd_);
}

TroupeLogCut TroupeLogHeldFile::cut() {
    TroupeLogCut cut;
    cut.file.status = atomic_file::ReadStatus::missing;
    atomic_file::OpenedFile opened;     // by the look at the path, on a shared mount
    if (fd_ >= 0) followPath(&opened);  // the file at the path is the one to read
    if (fd_ >= 0 || openFile()) cut.file = readable(std::move(opened));
    if (struct stat info{};
        cut.file.status == atomic_file::ReadStatus::ok && ::fstat(cut.file.fd, &info) == 0)
        cut.identity = atomic_file::FileIdentity::of(info);
    cut.ledgerEntries = ledger_.size();
    cut.changes = changes_;
    return cut;
}

void TroupeLogHeldFile::expect(TroupeLogPathWatch::Seen seen, std::optional<TroupeLogBlockHashes> hashes) {
    net_.expect(seen, std::move(hashes));
    watch_.expect(std::move(seen));
}

std::vector<TroupeRunLedger::Line> TroupeLogHeldFile::placeFound(TroupeRunLedger::Comparison comparison,
                                                                 std::uint64_t changesAtCut,
                                                                 std::optional<TroupeLogBlockHashes> hashes) {
    if (quitLooked_) return {};
    if (fd_ >= 0) followPath();
    if (changes_ != changesAtCut) return {};  // the reconcile that follows compares again
    for (const auto& [entry, offset] : comparison.found) ledger_.place(entry, {changes_, offset});
    // What the read saw of the file held, and what went to it since.
    if (fd_ >= 0 && watch_.seen()) net_.take(fd_, std::move(hashes), watch_.seen()->size);
    const auto lookedFor = [&](std::size_t entry) {
        return std::any_of(unreached_.begin(), unreached_.end(),
                           [&](const Unreached& u) { return u.line.entry == entry; });
    };
    std::vector<TroupeRunLedger::Line> missing;
    // Only a shared mount's size may lag its bytes: on a disk a file that ends before a line
    // of ours was cut short.
    for (auto& [line, offset] : comparison.unreached) {
        if (!freshReads_)
            missing.push_back(std::move(line));
        else if (!lookedFor(line.entry))
            unreached_.push_back(Unreached{std::move(line), offset, Clock::now()});
    }
    for (auto& line : comparison.missing)
        if (!lookedFor(line.entry)) missing.push_back(std::move(line));
    std::vector<TroupeRunLedger::Line> found = takeUnreached();
    std::move(found.begin(), found.end(), std::back_inserter(missing));
    std::sort(missing.begin(), missing.end(),  // in the order accepted
              [](const auto& a, const auto& b) { return a.entry < b.entry; });
    return missing;
}

// A line of this run is written again only once the bytes where it may be are read and are
// not it: past the end of a file whose size lags, it is looked for from where it was placed
// (or where the descriptor said it went) to the file's end at the next looks, and taken as
// gone only when the size has not brought it within unreachedPatience.
std::vector<TroupeRunLedger::Line> TroupeLogHeldFile::takeUnreached() {
    std::vector<TroupeRunLedger::Line> missing;
    if (unreached_.empty()) return missing;
    const std::uint64_t size = sizeNow();
    const auto now = Clock::now();
    std::erase_if(unreached_, [&](Unreached& unreached) {
        if (const auto at = lineFrom(unreached.offset, size, unreached.line.text)) {
            ledger_.place(unreached.line.entry, {changes_, *at});
            return true;
        }
        if (fd_ >= 0 && now - unreached.since < unreachedPatience) return false;
        missing.push_back(std::move(unreached.line));
        return true;
    });
    return missing;
}

// Where `line` starts a line of the held file between `from` and `to`, looked for in one read.
std::optional<std::uint64_t> TroupeLogHeldFile::lineFrom(std::uint64_t from, std::uint64_t to,
                                                         std::string_view line) {
    constexpr std::uint64_t kMostAhead = std::uint64_t{4} << 20;  // another device's lines of seconds
    if (fd_ < 0 || to < from + line.size() || to - from > kMostAhead) return std::nullopt;
    if (freshReads_) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);  // the file system's bytes
    const std::uint64_t start = from > 0 ? from - 1 : 0;               // with the byte before: a line's end
    std::string bytes(to - start, '\0');
    const ssize_t got = ::pread(fd_, bytes.data(), bytes.size(), static_cast<off_t>(start));
    if (got <= 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(got));
    for (std::size_t at = bytes.find(line); at != std::string::npos; at = bytes.find(line, at + 1))
        if (start + at == 0 || (at > 0 && bytes[at - 1] == '\n')) return start + at;
    return std::nullopt;
}

// The held file's size as its file system says now (on a shared mount, the last look's
// open asked the server); 0 without one.
std::uint64_t TroupeLogHeldFile::sizeNow() {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

std::pair<TroupeLogCut, std::vector<TroupeRunLedger::Line>> TroupeLogHeldFile::lookBeforeQuitting() {
    atomic_file::OpenedFile opened;  // by the look at the path, on a shared mount
    if (fd_ >= 0) followPath(&opened);
    // Lines of ours past a size that lags are given a moment to come within reach: each
    // look opens the path again, which asks the file system. Those still past it the quit
    // looks for by their ids.
    for (const auto until = Clock::now() + unreachedAtQuit;
         fd_ >= 0 && !unreached_.empty() && Clock::now() < until;) {
        std::this_thread::sleep_for(unreachedLookEvery / 5);
        opened = {};
        followPath(&opened);
        (void)takeUnreached();
    }
    if (fd_ < 0 && ledger_.size() > 0) openFile();
    TroupeLogCut cut;
    cut.file.status = atomic_file::ReadStatus::missing;
    if (fd_ >= 0) cut.file = readable(std::move(opened));
    cut.ledgerEntries = ledger_.size();
    cut.changes = changes_;
    auto doubtful = ledger_.notReadingBack(cut.file.fd, cut.ledgerEntries);
    quitLooked_ = true;
    return {std::move(cut), std::move(doubtful)};
}

std::string TroupeLogHeldFile::lineAt(std::uint64_t offset) {
    const atomic_file::OpenedFile atPath =
        fd_ >= 0 ? atomic_file::OpenedFile{} : atomic_file::openRegular(file_);
    return troupeLogLineAt(fd_ >= 0 ? fd_ : atPath.fd, offset);
}

bool TroupeLogHeldFile::openFile() {
    if (fd_ >= 0) return true;
    OpenedLog opened = openLogToAppend(file_);
    atLineStart_ = opened.made;  // a line torn by a crash may end a file found there
    if (opened.fd < 0) {
        report("open", opened.error);
        return false;
    }
    fd_ = opened.fd;
    holding_ = false;
    freshReads_ = onSharedMount(fd_);
    // Not the file the snapshot was read from, or no longer as it was: what it holds is
    // read, and this run's lines it lacks are put back. A log this run makes where the
    // load found none is its own.
    const auto& seen = watch_.seen();
    if (seen && (seen->identity.known() || !opened.made)) {
        compareHeld(opened.info);
    } else {
        rememberHeld(opened.info);
    }
    return true;
}

// The lines go to the file at the path now, whatever happened to the one held; one made
// again when it went. False when nothing may be written now.
bool TroupeLogHeldFile::followPath(atomic_file::OpenedFile* opened) {
    if (fd_ < 0) {
        // Lines of this run have nowhere to be: the file is made again once the path allows.
        // Else one put there since the load is looked at, not made.
        struct stat info {};
        const bool there = ::stat(file_.c_str(), &info) == 0;
        const auto& seen = watch_.seen();
        if (ledger_.size() > 0 || (seen && there)) {
            openFile();
        } else if (seen && seen->identity.known() && errno == ENOENT) {
            watch_.expect({});  // the file read went: the snapshot follows
            changed();
        }
        return true;
    }
    atomic_file::OpenedFile fresh;  // the path's own open, on a shared mount
    const LogAtPath atPath = logAtPath(file_, fd_, &fresh);
    if (atPath == LogAtPath::unknown) {
        // The held descriptor may be the one that failed, the path working again.
        if (struct stat info{}; ::fstat(fd_, &info) != 0 && dropFailed(errno)) return openFile();
        return true;
    }
    if (atPath == LogAtPath::notAFile) {
        // Nothing there to write: the lines stay with the file held, which a rename kept.
        if (!pathHoldsNoFile_)
            log::system("The troupe log's path " + file_.string() +
                        " holds no file to write; appending to the file opened before");
        pathHoldsNoFile_ = true;
        return true;
    }
    pathHoldsNoFile_ = false;
    if (atPath == LogAtPath::heldFile) {
        if (fresh.status == atomic_file::ReadStatus::ok) adopt(std::move(fresh), opened);
        lookAtHeldFile();
        return fd_ >= 0 || openFile();
    }
    if (atPath == LogAtPath::nothing)
        log::system("The troupe log " + file_.string() + " was deleted; making it again");
    if (atPath == LogAtPath::anotherFile)
        sayReplaced("was replaced by another file", "appending to that one");
    sync();  // what went to the old file, in case a rename kept it
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // Said before the open, which may find the inode just freed, and by that alone no change.
    changed();
    // Writing on into a file nobody can reach loses the lines: they wait instead.
    holding_ = atPath == LogAtPath::notAFileHeldDeleted;
    if (holding_) return false;
    watch_.forget();
    return openFile() || atPath == LogAtPath::nothing;
}

// On a shared mount the path's own open takes the held descriptor's place: whatever the
// inode numbers say, it is the file at the path now, the one to read and to append to (a
// descriptor kept from before may go on reading and writing a file renamed away on the
// server). `opened` gets a descriptor of it to read, sized as the server said.
void TroupeLogHeldFile::adopt(atomic_file::OpenedFile fresh, atomic_file::OpenedFile* opened) {
    ::close(fd_);  // written through already; what it held to sync goes with the path's file
    fd_ = std::exchange(fresh.fd, -1);
    if (opened == nullptr) return;
    *opened = logOnItsOwnDescriptor(fd_);
    opened->size = fresh.size;
    opened->allocated = fresh.allocated;
}

// A sync tool may save over the log every second: said once a minute at most, with how often.
void TroupeLogHeldFile::sayReplaced(const std::string& what, const std::string& then) {
    const auto now = Clock::now();
    if (replacedSaidAt_ && now - *replacedSaidAt_ < std::chrono::minutes(1)) {
        ++replacedUnsaid_;
        return;
    }
    const std::string times =
        replacedUnsaid_ == 0 ? "" : " (" + std::to_string(replacedUnsaid_ + 1) + " times in the last minute)";
    log::system("The troupe log " + file_.string() + " " + what + times + "; " + then);
    replacedSaidAt_ = now;
    replacedUnsaid_ = 0;
}

void TroupeLogHeldFile::changed() {
    net_.forget(false);  // a reconcile's read brings the hashes again
    ++changes_;
    changed_(changes_);
}

// Lets go of a descriptor that failed for good, a change: the lines go to the path.
bool TroupeLogHeldFile::dropFailed(int error) {
    if (fd_ < 0 || !failedForGood(error)) return false;
    log::system("The troupe log " + file_.string() + " failed under the app (" + std::strerror(error) +
                "); writing to its path again once it can be");
    ::close(fd_);
    fd_ = -1;
    watch_.forget();
    changed();
    return true;
}

void TroupeLogHeldFile::report(const std::string& what, const std::string& why) {
    if (!reported_ && !holding_)
        log::system("Cannot " + what + " the troupe log " + file_.string() + ": " + why);
    reported_ = true;
}

// How much of `bytes` reached the file: all of it, or less with errno set.
std::size_t TroupeLogHeldFile::writeAll(std::string_view bytes) {
    const bool startKnown = watch_.seen().has_value();
    const std::uint64_t start = startKnown ? watch_.seen()->size : 0;
    // The file just before the write, as its file system has it now: the net moves its
    // record on only from the file it vouched for.
    struct stat before {};
    const bool beforeKnown = freshReads_ ? statAfresh(fd_, before) : ::fstat(fd_, &before) == 0;
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
    const off_t offset = ::lseek(fd_, 0, SEEK_CUR);
    if (offset < 0 || ::fstat(fd_, &info) != 0) return std::nullopt;
    const auto end = static_cast<std::uint64_t>(offset);
    landedAt_ = end;
    // On a shared mount the pages this machine keeps may hold our bytes where its kernel
    // thought they went, a size that lagged: dropped, the reads below ask the file system.
    if (freshReads_) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    if (bytesAt(end, ours)) return end;
    struct stat fresh {};
    if (!statAfresh(fd_, fresh)) return end;
    const auto real = static_cast<std::uint64_t>(fresh.st_size);
    if (real > end && bytesAt(real, ours)) {
        info = fresh;
        landedAt_ = real;
        return real;
    }
    // Where a shared mount's size lags its bytes, ours lie past what can be read yet: where,
    // the next looks tell. Elsewhere a change, which the read-back finds.
    if (freshReads_) {
        landingUnknown_ = true;
        return std::nullopt;
    }
    return end;
}

// The file held holds `text` just before `end`.
bool TroupeLogHeldFile::bytesAt(std::uint64_t end, std::string_view text) {
    std::string held(text.size(), '\0');
    return end >= text.size() &&
           ::pread(fd_, held.data(), held.size(), static_cast<off_t>(end - text.size())) ==
               static_cast<ssize_t>(held.size()) &&
           held == text;
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
    if (!readLast() && !(freshReads_ && followPath() && fd_ >= 0 && readLast())) {
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

TroupeLogHeldFile::Written TroupeLogHeldFile::writeLine(const TroupeLogLine& line, bool lookAtPath,
                                                        bool quitting) {
    if (lookAtPath && fd_ >= 0) {
        atLineStart_ = false;  // another writer may have left a line torn
        if (!followPath()) return Written::failed;
    }
    if (fd_ < 0 && !openFile()) return Written::failed;
    lookAtHeldFile();  // written by another between two lines
    if (fd_ < 0 && !openFile()) return Written::failed;
    if (!atLineStart_) {
        const Written ended = endTornLine(quitting ? tornLineWaitQuitting : tornLineWait);
        if (ended != Written::yes) return ended;
    }
    const std::size_t written = writeAll(line.text);
    if (written < line.text.size()) {
        // Every failure to write takes this path, a full disk, quota or file-size
        // limit included: the line stays queued and is written whole later.
        const int error = errno;
        if (written > 0) atLineStart_ = dropFragment(written);
        if (!dropFailed(error)) report("write", std::strerror(error));
        return Written::failed;
    }
    reported_ = false;
    if (landingUnknown_) {
        // Looked for from where the descriptor says on (the most a lagging size can hide).
        const std::size_t entry = line.again.value_or(ledger_.size());
        if (line.id) ledger_.record(*line.id, line.text);
        const std::uint64_t from = landedAt_ - std::min<std::uint64_t>(landedAt_, line.text.size());
        if (line.id || line.again)
            unreached_.push_back(Unreached{{line.id.value_or(Uuid{}), line.text, entry}, from, Clock::now()});
        return Written::yes;
    }
    const std::uint64_t end = landedAt_;
    // Another writer may have written over the line between its write and the look after it.
    if (!bytesAt(end, line.text)) changed();
    // Where it landed, unless glued to a line another writer tore just before.
    std::optional<TroupeRunLedger::Place> place;
    if (const auto start = end - std::min<std::uint64_t>(end, line.text.size()); endsLine(start))
        place = TroupeRunLedger::Place{changes_, start};
    if (line.id) ledger_.record(*line.id, line.text, place);
    if (line.again && place) ledger_.placeAgain(*line.again, *place);
    return Written::yes;
}

// The byte before `offset` of the file held is a newline, or there is none.
bool TroupeLogHeldFile::endsLine(std::uint64_t offset) {
    char last = 0;
    return offset == 0 || (::pread(fd_, &last, 1, static_cast<off_t>(offset - 1)) == 1 && last == '\n');
}

void TroupeLogHeldFile::sync() {
    if (fd_ >= 0 && ::fdatasync(fd_) != 0 && !dropFailed(errno))
        log::system(std::string("Cannot sync the troupe log: ") + std::strerror(errno));
    dirty_ = false;
}

}  // namespace tw
