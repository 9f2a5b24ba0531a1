#include "troupe/store/troupe_log_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/log.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {
constexpr auto kSyncInterval = std::chrono::seconds(1);
constexpr auto kRetryInterval = std::chrono::seconds(1);
constexpr auto kGather = std::chrono::milliseconds(2);
// Often for 3 s after a change (a save often follows another), else seldom: well within 2 s.
constexpr auto kHotPoll = std::chrono::milliseconds(50);
constexpr auto kHotFor = std::chrono::seconds(3);

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
}  // namespace

TroupeLogWriter::TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction, Changed changed)
    : file_(std::move(file)),
      write_(writeFunction ? std::move(writeFunction) : WriteFunction(::write)),
      changed_(std::move(changed)),
      ledger_(file_.parent_path()) {
    thread_ = std::thread([this] { loop(); });
}

TroupeLogWriter::~TroupeLogWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
    std::size_t unwritten = 0;
    for (const Job& job : jobs_) unwritten += std::holds_alternative<Line>(job) ? 1 : 0;
    if (unwritten > 0)
        log::system(std::to_string(unwritten) + " accepted troupe event" + (unwritten == 1 ? "" : "s") +
                    " could not be written to " + file_.string() + " before quitting and are lost");
}

void TroupeLogWriter::write(std::string line, std::optional<Uuid> id) { enqueue(Line{std::move(line), id}); }

void TroupeLogWriter::run(std::function<void()> job, FailureHandler failed) {
    enqueue(Task{std::move(job), std::move(failed)});
}

void TroupeLogWriter::enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (const auto* line = std::get_if<Line>(&job)) queuedBytes_ += line->text.size();
        jobs_.push_back(std::move(job));
        ++submitted_;
    }
    wake_.notify_one();
}

bool TroupeLogWriter::drain() {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = submitted_;
    ++draining_;
    wake_.notify_one();
    // A failure counts once a try made after this call failed: what stood in the way may be gone.
    const std::uint64_t failures = failures_;
    const std::uint64_t looks = looks_;  // and the path looked at once after the call
    progress_.wait(lock, [&] { return (synced_ >= target && looks_ > looks) || failures_ > failures; });
    --draining_;
    return synced_ >= target;
}

std::string TroupeLogWriter::lineAt(std::uint64_t offset) {
    auto line = std::make_shared<std::string>();
    run([this, line, offset] {
        const atomic_file::OpenedFile atPath =
            fd_ >= 0 ? atomic_file::OpenedFile{} : atomic_file::openRegular(file_);
        *line = troupeLogLineAt(fd_ >= 0 ? fd_ : atPath.fd, offset);
    });
    // A line before that cannot be written holds the job back: nothing to read yet.
    return drain() ? *line : std::string();
}

std::uint64_t TroupeLogWriter::queuedBytes() {
    std::lock_guard lock(mutex_);
    return queuedBytes_;
}

void TroupeLogWriter::expectFile(atomic_file::FileIdentity loaded, std::uint64_t end, timespec changedAt) {
    run([this, loaded, end, changedAt] { seen_ = Seen{loaded, end, changedAt}; });
}

void TroupeLogWriter::cut(std::function<void(TroupeLogCut)> take, FailureHandler failed) {
    run(
        [this, take = std::move(take)] {
            TroupeLogCut cut;
            cut.file.status = atomic_file::ReadStatus::missing;
            if (fd_ >= 0) followPath();  // the file at the path is the one to read
            if (fd_ >= 0 || openFile()) cut.file = logOnItsOwnDescriptor(fd_);
            if (struct stat info{};
                cut.file.status == atomic_file::ReadStatus::ok && ::fstat(cut.file.fd, &info) == 0)
                cut.identity = atomic_file::FileIdentity::of(info);
            cut.ledgerEntries = ledger_.size();
            cut.changes = changes_;
            take(std::move(cut));
        },
        std::move(failed));
}

void TroupeLogWriter::writeAgain(std::vector<TroupeRunLedger::Line> lines, std::uint64_t changesAtCut) {
    run([this, lines = std::move(lines), changesAtCut]() mutable {
        if (fd_ >= 0) followPath();
        if (changes_ != changesAtCut) return;  // the reconcile that follows compares again
        confirmed_ = changes_;
        unconfirmedEntries_ = 0;
        if (lines.empty()) return;
        log::system("Appending " + std::to_string(lines.size()) + " troupe event" +
                    (lines.size() == 1 ? "" : "s") + " of this run again that the file at " + file_.string() +
                    " lacks");
        queueFront(std::move(lines));
    });
}

std::size_t TroupeLogWriter::appendUnconfirmed() {
    auto count = std::make_shared<std::size_t>(0);
    run([this, count] {
        if (fd_ >= 0) followPath();
        if (changes_ == confirmed_) return;
        std::vector<TroupeRunLedger::Line> lines = ledger_.linesMissingFrom(nullptr, unconfirmedEntries_);
        *count = lines.size();
        confirmed_ = ++changes_;  // what a reconcile still running finds is not appended again
        unconfirmedEntries_ = 0;
        queueFront(std::move(lines));
    });
    drain();
    return *count;
}

void TroupeLogWriter::waitForQuiet(std::chrono::milliseconds quiet, const std::atomic<bool>& stop) {
    std::unique_lock lock(mutex_);
    for (auto since = std::chrono::steady_clock::now() - lastChange_; since < quiet && !stop;
         since = std::chrono::steady_clock::now() - lastChange_) {
        progress_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(quiet - since, kHotPoll));
    }
}

// Ahead of what is queued, as lines are, to be tried again when they cannot be written.
void TroupeLogWriter::queueFront(std::vector<TroupeRunLedger::Line> lines) {
    std::lock_guard lock(mutex_);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        queuedBytes_ += line->text.size();
        jobs_.emplace_front(Line{std::move(line->text), std::nullopt});
    }
    submitted_ += lines.size();
}

void TroupeLogWriter::loop() {
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty() && !(dirty_ && draining_ > 0) && !stopping_) {
            const auto now = Clock::now();
            auto until = now + (now - lastChange_ < kHotFor ? kHotPoll : pollInterval);
            if (dirty_) until = std::min(until, lastSync + kSyncInterval);
            if (wake_.wait_until(lock, until) == std::cv_status::timeout && jobs_.empty() && !stopping_) {
                lock.unlock();
                if (fd_ >= 0 || seen_) followPath();
                lock.lock();
            } else if (draining_ == 0 && !stopping_) {
                // Let a burst of lines gather: waking this thread per line costs the
                // main thread more than the line's write does.
                lock.unlock();
                std::this_thread::sleep_for(kGather);
                lock.lock();
            }
        }
        lookAtPath_ = true;
        while (!jobs_.empty()) {
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            bool ok = true;
            if (auto* line = std::get_if<Line>(&job)) {
                ok = writeLine(*line);
            } else if (auto& task = std::get<Task>(job); auto error = failureOf(task.job)) {
                // Like any worker thread here: a job that throws must not end the app.
                log::system("A troupe log job failed: " + *error);
                if (task.failed) {
                    if (auto again = failureOf([&] { task.failed(*error); }))
                        log::system("Cannot report a failed troupe log job: " + *again);
                }
            }
            lock.lock();
            // A job may have read the log for a while: the path may hold another file by now.
            if (std::holds_alternative<Task>(job)) lookAtPath_ = true;
            if (!ok) {
                // Keep the line and its place; try again in a while.
                jobs_.push_front(std::move(job));
                ++failures_;
                retrying_ = true;
                progress_.notify_all();
                if (stopping_) return;
                wake_.wait_for(lock, kRetryInterval);
                lookAtPath_ = true;
                continue;
            }
            if (const auto* line = std::get_if<Line>(&job)) queuedBytes_ -= line->text.size();
            retrying_ = false;
            ++done_;
        }
        const bool due = Clock::now() - lastSync >= kSyncInterval;
        if ((dirty_ && due) || draining_ > 0 || stopping_) {
            lock.unlock();
            // Whoever waits for the disk is told of a change made before the wait.
            if (fd_ >= 0 || seen_) followPath();
            if (dirty_) sync();
            lock.lock();
            lastSync = Clock::now();
            ++looks_;
        }
        if (!dirty_) synced_ = done_;
        progress_.notify_all();
        if (stopping_ && jobs_.empty()) return;
    }
}

bool TroupeLogWriter::openFile() {
    if (fd_ >= 0) return true;
    OpenedLog opened = openLogToAppend(file_);
    atLineStart_ = opened.made;  // a line torn by a crash may end a file found there
    if (opened.fd < 0) {
        report("open", opened.error);
        return false;
    }
    fd_ = opened.fd;
    lastLine_.clear();
    holding_ = false;
    // Not the file the snapshot was read from, or no longer as it was: what it holds is
    // read, and this run's lines it lacks are put back. A log this run makes where the
    // load found none is its own.
    const struct stat& info = opened.info;
    const bool another = seen_ && (seen_->identity.known() || !opened.made) &&
                         (seen_->identity != atomic_file::FileIdentity::of(info) || !sameAsSeen(info));
    remember(info);
    if (another) changed();
    return true;
}

// The lines go to the file at the path now, whatever happened to the one held; one made
// again when it went. False when nothing may be written now.
bool TroupeLogWriter::followPath() {
    if (fd_ < 0) {
        // Lines of this run have nowhere to be: the file is made again once the path allows.
        // Else one put there since the load is looked at, not made.
        struct stat info {};
        const bool there = ::stat(file_.c_str(), &info) == 0;
        if (ledger_.size() > 0 || (seen_ && there)) {
            openFile();
        } else if (seen_ && seen_->identity.known() && errno == ENOENT) {
            seen_ = Seen{};  // the file read went: the snapshot follows
            changed();
        }
        return true;
    }
    const LogAtPath atPath = logAtPath(file_, fd_);
    if (atPath == LogAtPath::notAFile) {
        // Nothing there to write: the lines stay with the file held, which a rename kept.
        if (!pathHoldsNoFile_)
            log::system("The troupe log's path " + file_.string() +
                        " holds no file to write; appending to the file opened before");
        pathHoldsNoFile_ = true;
        return true;
    }
    pathHoldsNoFile_ = false;
    if (atPath == LogAtPath::heldFile) lookAtHeldFile();
    if (atPath == LogAtPath::heldFile || atPath == LogAtPath::unknown) return true;
    if (atPath == LogAtPath::nothing)
        log::system("The troupe log " + file_.string() + " was deleted; making it again");
    if (atPath == LogAtPath::anotherFile)
        log::system("The troupe log " + file_.string() +
                    " was replaced by another file; appending to that one");
    sync();  // what went to the old file, in case a rename kept it
    ::close(fd_);
    fd_ = -1;
    // Said before the open, which may find the inode just freed, and by that alone no change.
    changed();
    // Writing on into a file nobody can reach loses the lines: they wait instead.
    holding_ = atPath == LogAtPath::notAFileHeldDeleted;
    if (holding_) return false;
    seen_.reset();
    return openFile() || atPath == LogAtPath::nothing;
}

// The file held as this thread's writes left it, or changed by someone else since.
void TroupeLogWriter::lookAtHeldFile() {
    struct stat info {};
    if (!seen_ || ::fstat(fd_, &info) != 0) return;
    const bool same = sameAsSeen(info) && readsBack(lastLine_);
    remember(info);
    if (same) return;
    atLineStart_ = false;  // another writer may have left a line torn
    changed();
}

// Its size and change time as this thread last saw them (a change time the load did not see aside).
bool TroupeLogWriter::sameAsSeen(const struct stat& info) const {
    return static_cast<std::uint64_t>(info.st_size) == seen_->size &&
           (seen_->changedAt.tv_sec < 0 || sameTime(info.st_mtim, seen_->changedAt));
}

void TroupeLogWriter::remember(const struct stat& info) {
    seen_ = Seen{atomic_file::FileIdentity::of(info), static_cast<std::uint64_t>(info.st_size), info.st_mtim};
}

void TroupeLogWriter::changed() {
    lastLine_.clear();  // what the reconcile this asks for does not find, it puts back
    ++changes_;
    unconfirmedEntries_ = ledger_.size();
    {
        std::lock_guard lock(mutex_);
        lastChange_ = std::chrono::steady_clock::now();
    }
    progress_.notify_all();
    if (changed_) changed_(changes_);
}

void TroupeLogWriter::report(const std::string& what, const std::string& why) {
    if (!reported_ && !holding_)
        log::system("Cannot " + what + " the troupe log " + file_.string() + ": " + why);
    reported_ = true;
}

// How much of `bytes` reached the file: all of it, or less with errno set.
std::size_t TroupeLogWriter::writeAll(std::string_view bytes) {
    const bool startKnown = seen_.has_value();
    const std::uint64_t start = startKnown ? seen_->size : 0;
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
    // file ended. Anything else at the end is another writer's; another start, the file was
    // cut (or grew) just before.
    const int error = errno;
    struct stat info {};
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    if (::fstat(fd_, &info) == 0) {
        const bool alone =
            end == info.st_size && (!startKnown || static_cast<std::uint64_t>(end) == start + written);
        remember(info);
        if (!alone) {
            atLineStart_ = false;  // what came after may be a line's start
            changed();
        }
    }
    errno = error;
    return written;
}

// Ends a torn last line, so the next line starts on a line of its own.
bool TroupeLogWriter::endTornLine() {
    struct stat info {};
    char last = '\n';
    if (::fstat(fd_, &info) != 0 || (info.st_size > 0 && ::pread(fd_, &last, 1, info.st_size - 1) != 1)) {
        report("read the end of", std::strerror(errno));
        return false;
    }
    if (last != '\n' && writeAll("\n") != 1) {
        report("end a torn line of", std::strerror(errno));
        return false;
    }
    atLineStart_ = true;
    return true;
}

// Takes the start of a line that could not be written whole back off the file. False
// when it must stay: truncating failed, or another writer has appended after it.
bool TroupeLogWriter::dropFragment(std::size_t size) {
    const int error = errno;
    struct stat info {};
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);  // O_APPEND: just past this thread's last write
    const bool dropped = end >= static_cast<off_t>(size) && ::fstat(fd_, &info) == 0 && info.st_size == end &&
                         ::ftruncate(fd_, end - static_cast<off_t>(size)) == 0;
    if (dropped && ::fstat(fd_, &info) == 0) remember(info);
    errno = error;
    return dropped;
}

bool TroupeLogWriter::writeLine(const Line& line) {
    if (lookAtPath_ && fd_ >= 0) {
        atLineStart_ = false;  // another writer may have left a line torn
        if (!followPath()) return false;
    }
    lookAtPath_ = false;
    if (fd_ < 0 && !openFile()) return false;
    lookAtHeldFile();  // written by another between two lines
    if (!atLineStart_ && !endTornLine()) return false;
    const std::size_t written = writeAll(line.text);
    if (written < line.text.size()) {
        // Every failure to write takes this path, a full disk, quota or file-size
        // limit included: the line stays queued and is written whole later.
        if (written > 0) atLineStart_ = dropFragment(written);
        report("write", std::strerror(errno));
        return false;
    }
    reported_ = false;
    // Another writer may have written over the line between its write and the look after it.
    if (readsBack(line.text))
        lastLine_ = line.text;
    else
        changed();
    if (line.id) ledger_.record(*line.id, line.text);
    return true;
}

// The file holds `text` just before where this thread's last write ended (nothing holds).
bool TroupeLogWriter::readsBack(std::string_view text) {
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    std::string held(text.size(), '\0');
    return end >= static_cast<off_t>(text.size()) &&
           ::pread(fd_, held.data(), held.size(), end - static_cast<off_t>(text.size())) ==
               static_cast<ssize_t>(held.size()) &&
           held == text;
}

void TroupeLogWriter::sync() {
    if (fd_ >= 0 && ::fdatasync(fd_) != 0)
        log::system(std::string("Cannot sync the troupe log: ") + std::strerror(errno));
    dirty_ = false;
}

}  // namespace tw
