#include "troupe/store/troupe_log_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_end_ids.h"
#include "troupe/store/troupe_log_file_at_path.h"

namespace tw {

namespace {
constexpr auto kSyncInterval = std::chrono::seconds(1);
constexpr auto kRetryInterval = std::chrono::seconds(1);
constexpr auto kGather = std::chrono::milliseconds(2);
}  // namespace

TroupeLogWriter::TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction, Replaced replaced)
    : file_(std::move(file)),
      write_(writeFunction ? std::move(writeFunction) : WriteFunction(::write)),
      replaced_(std::move(replaced)) {
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
    replacedFiles_.clear();
    std::size_t unwritten = 0;
    for (const Job& job : jobs_) unwritten += std::holds_alternative<std::string>(job) ? 1 : 0;
    if (unwritten > 0)
        log::system(std::to_string(unwritten) + " accepted troupe event" + (unwritten == 1 ? "" : "s") +
                    " could not be written to " + file_.string() + " before quitting and are lost");
}

void TroupeLogWriter::write(std::string line) {
    {
        std::lock_guard lock(mutex_);
        queuedBytes_ += line.size();
        jobs_.emplace_back(std::move(line));
        ++submitted_;
    }
    wake_.notify_one();
}

void TroupeLogWriter::run(std::function<void()> job, FailureHandler failed) {
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace_back(Task{std::move(job), std::move(failed)});
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
    progress_.wait(lock, [&] { return synced_ >= target || failures_ > failures; });
    --draining_;
    return synced_ >= target;
}

std::string TroupeLogWriter::lineAt(std::uint64_t offset) {
    auto line = std::make_shared<std::string>();
    run([this, line, offset] {
        atomic_file::OpenedFile atPath;
        if (fd_ < 0) atPath = atomic_file::openRegular(file_);
        const int fd = fd_ >= 0 ? fd_ : atPath.fd;
        char buffer[4096];
        for (ssize_t got;
             (got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset + line->size()))) > 0;) {
            const std::string_view chunk(buffer, static_cast<std::size_t>(got));
            const auto newline = chunk.find('\n');
            line->append(chunk.substr(0, newline));
            if (newline != std::string_view::npos || line->size() > (std::size_t{64} << 20)) break;
        }
    });
    // A line before that cannot be written holds the job back: nothing to read yet.
    return drain() ? *line : std::string();
}

std::uint64_t TroupeLogWriter::queuedBytes() {
    std::lock_guard lock(mutex_);
    return queuedBytes_;
}

void TroupeLogWriter::expectFile(atomic_file::FileIdentity loaded, std::uint64_t end) {
    run([this, loaded, end] {
        readFile_ = loaded;
        readEnd_ = end;
    });
}

void TroupeLogWriter::cut(std::function<void(TroupeLogCut)> take, FailureHandler failed) {
    run(
        [this, take = std::move(take)] {
            TroupeLogCut cut;
            cut.file.status = atomic_file::ReadStatus::missing;
            struct stat info {};
            if (fd_ >= 0) followPath();  // the file at the path is the one to read
            if (fd_ >= 0 || openFile(false)) cut.file = openedHeldFile(info);
            if (cut.file.status != atomic_file::ReadStatus::missing) {
                cut.identity = atomic_file::FileIdentity::of(info);
                readFile_ = cut.identity;
                knownEnd_ = cut.file.size;
                cut.ownFrom = heldUnread_ ? std::min(readEnd_, cut.file.size) : cut.file.size;
                heldUnread_ = false;
            }
            cut.replaced = std::move(replacedFiles_);
            replacedFiles_.clear();
            ++cutsTaken_;
            take(std::move(cut));
        },
        std::move(failed));
}

void TroupeLogWriter::writeAgain(std::vector<std::pair<Uuid, std::string>> lines, std::uint64_t written) {
    run([this, lines = std::move(lines), written]() mutable {
        // The file they would go to, found as a line finds it.
        if (fd_ >= 0) followPath();
        if (fd_ < 0) openFile();
        struct stat info {};
        TroupeEventIndex held = idsNearTheEnd(openedHeldFile(info), written);
        std::deque<Job> kept;
        std::uint64_t bytes = 0;
        for (auto& [id, line] : lines) {
            if (!held.insert(id, 0)) continue;
            bytes += line.size();
            kept.emplace_back(std::move(line));
        }
        // Queued as lines are, to be tried again when they cannot be written.
        std::lock_guard lock(mutex_);
        queuedBytes_ += bytes;
        submitted_ += kept.size();
        jobs_.insert(jobs_.begin(), std::make_move_iterator(kept.begin()),
                     std::make_move_iterator(kept.end()));
    });
}

// The file held, on a descriptor of its own and sized as it is now (`info`); missing
// when none is held.
atomic_file::OpenedFile TroupeLogWriter::openedHeldFile(struct stat& info) {
    atomic_file::OpenedFile opened;
    opened.status = atomic_file::ReadStatus::missing;
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return opened;
    opened.fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    opened.status = opened.fd >= 0 ? atomic_file::ReadStatus::ok : atomic_file::ReadStatus::failed;
    opened.size = static_cast<std::uint64_t>(info.st_size);
    opened.allocated = static_cast<std::uint64_t>(info.st_blocks) * 512;
    return opened;
}

void TroupeLogWriter::loop() {
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty() && !(dirty_ && draining_ > 0) && !stopping_) {
            if (dirty_)
                wake_.wait_until(lock, lastSync + kSyncInterval);
            else
                wake_.wait(lock);
            // Let a burst of lines gather: waking this thread per line costs the
            // main thread more than the line's write does.
            if (draining_ == 0 && !stopping_) {
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
            if (auto* line = std::get_if<std::string>(&job)) {
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
            if (const auto* line = std::get_if<std::string>(&job)) queuedBytes_ -= line->size();
            retrying_ = false;
            ++done_;
        }
        const bool due = Clock::now() - lastSync >= kSyncInterval;
        if (dirty_ && (due || draining_ > 0 || stopping_)) {
            lock.unlock();
            // A file renamed over the log since the last line: the lines that went to
            // the old one are taken over now, not at the next line. A deleted one is
            // held until then, as a line must be written to make the log again.
            if (fd_ >= 0 && logAtPath(file_, fd_) == LogAtPath::anotherFile) followPath();
            sync();
            lock.lock();
            lastSync = Clock::now();
        }
        if (!dirty_) synced_ = done_;
        progress_.notify_all();
        if (stopping_ && jobs_.empty()) return;
    }
}

bool TroupeLogWriter::openFile(bool announce) {
    if (fd_ >= 0) return true;
    // Only a file made here gets its mode set: whatever is at the path already, or
    // behind a link there, belongs to someone who chose its mode. O_EXCL makes nothing
    // through a link; an existing path is opened only once it is seen to be a regular
    // file (a link to one is fine), never waited on (a FIFO) nor written past (a device).
    constexpr int flags = O_RDWR | O_APPEND | O_CLOEXEC;
    fd_ = ::open(file_.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (fd_ < 0 && errno == ENOENT && makeFolder())
        fd_ = ::open(file_.c_str(), flags | O_CREAT | O_EXCL, 0600);
    struct stat info {};
    if (fd_ >= 0) {
        ::fchmod(fd_, 0600);  // whatever the umask
        atLineStart_ = true;
        holding_ = false;
        if (readFile_ && ::fstat(fd_, &info) == 0) readFile_ = atomic_file::FileIdentity::of(info);
        readEnd_ = 0;
        knownEnd_ = 0;
        heldUnread_ = false;
        return true;
    }
    atLineStart_ = false;  // a line torn by a crash may end the file
    if (errno != EEXIST) {
        report("open", std::strerror(errno));
        return false;
    }
    const atomic_file::SeenOpening seen = atomic_file::openSeenRegular(file_, flags);
    switch (seen.outcome) {
        case atomic_file::SeenOpening::opened:
            break;
        case atomic_file::SeenOpening::notRegular:
            report("open", "it is not a regular file");
            return false;
        case atomic_file::SeenOpening::swapped:
            report("open", "it was swapped for another file while it was opened");
            return false;
        case atomic_file::SeenOpening::failed:
            // A link to nothing: O_EXCL found something, the open finds nothing.
            report("open", seen.error == ENOENT ? "it is a link to nothing" : std::strerror(seen.error));
            return false;
    }
    fd_ = seen.fd;
    holding_ = false;
    // Not the file the snapshot was read from: the store reads this one, and this run's
    // lines in it start here.
    const auto opened = atomic_file::FileIdentity::of(seen.info);
    if (!readFile_ || *readFile_ != opened) readEnd_ = static_cast<std::uint64_t>(seen.info.st_size);
    knownEnd_ = readEnd_;
    if (readFile_ && *readFile_ != opened) {
        readFile_ = opened;
        heldUnread_ = true;
        if (announce && !std::exchange(replacementSaid_, false))
            log::system("The troupe log " + file_.string() +
                        " is not the file that was read; appending to it");
        if (announce && replaced_) replaced_(cutsTaken_);
    } else if (readFile_) {
        noticeShrinking(announce);
    }
    return true;
}

// The log's folder, made again when it was deleted under a running app; as private
// as the store makes it.
bool TroupeLogWriter::makeFolder() {
    const auto folder = file_.parent_path();
    std::error_code error;  // a failure shows in the open that follows, reported once
    if (!std::filesystem::create_directories(folder, error)) return false;
    ::chmod(folder.c_str(), 0700);
    return true;
}

// The lines go to the file at the path now, whatever happened to the one held.
bool TroupeLogWriter::followPath() {
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
    if (atPath == LogAtPath::heldFile) noticeShrinking(true);
    if (atPath == LogAtPath::heldFile || atPath == LogAtPath::unknown) return true;
    if (atPath == LogAtPath::nothing)
        log::system("The troupe log " + file_.string() + " was deleted; making it again");
    if (atPath == LogAtPath::anotherFile)
        log::system("The troupe log " + file_.string() +
                    " was replaced by another file; appending to that one");
    sync();  // what went to the old file, in case a rename kept it
    struct stat info {};
    // This run's lines in the file replaced are taken over by the store.
    if (atPath == LogAtPath::anotherFile && ::fstat(fd_, &info) == 0 &&
        static_cast<std::uint64_t>(info.st_size) > readEnd_) {
        TroupeLogCut::Replaced old{atomic_file::OpenedFile{}, readEnd_};
        old.file.fd = fd_;
        old.file.status = atomic_file::ReadStatus::ok;
        old.file.size = static_cast<std::uint64_t>(info.st_size);
        replacedFiles_.push_back(std::move(old));
    } else {
        ::close(fd_);
    }
    fd_ = -1;
    if (atPath == LogAtPath::notAFileHeldDeleted) {
        // Writing on into a file nobody can reach loses the lines: they wait instead.
        holding_ = true;
        return false;
    }
    replacementSaid_ = atPath == LogAtPath::anotherFile;
    if (atPath == LogAtPath::anotherFile) openFile();  // tells the store now
    return true;
}

// The file held is shorter than this run knew it (cut short, or written over, in place):
// it is read again from what it holds now, as a file that took the log's place is. This
// run's lines that went with the cut are gone from the disk and are not written again.
void TroupeLogWriter::noticeShrinking(bool announce) {
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || static_cast<std::uint64_t>(info.st_size) >= knownEnd_) return;
    log::system("The troupe log " + file_.string() + " was cut short in place (" +
                std::to_string(info.st_size) + " of " + std::to_string(knownEnd_) +
                " bytes are left); reading it again");
    readEnd_ = knownEnd_ = static_cast<std::uint64_t>(info.st_size);
    heldUnread_ = true;
    if (announce && replaced_) replaced_(cutsTaken_);
}

void TroupeLogWriter::report(const std::string& what, const std::string& why) {
    if (!reported_ && !holding_)
        log::system("Cannot " + what + " the troupe log " + file_.string() + ": " + why);
    reported_ = true;
}

// How much of `bytes` reached the file: all of it, or less with errno set.
std::size_t TroupeLogWriter::writeAll(std::string_view bytes) {
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
    if (written > 0) {
        dirty_ = true;
        // O_APPEND: the descriptor's offset is where this write ended.
        if (const off_t end = ::lseek(fd_, 0, SEEK_CUR); end >= 0)
            knownEnd_ = static_cast<std::uint64_t>(end);
    }
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
    if (dropped) knownEnd_ = static_cast<std::uint64_t>(end) - size;
    errno = error;
    return dropped;
}

bool TroupeLogWriter::writeLine(const std::string& line) {
    if (lookAtPath_ && fd_ >= 0) {
        atLineStart_ = false;  // another writer may have left a line torn
        if (!followPath()) return false;
    }
    lookAtPath_ = false;
    if (fd_ < 0 && !openFile()) return false;
    if (!atLineStart_ && !endTornLine()) return false;
    const std::size_t written = writeAll(line);
    if (written < line.size()) {
        // Every failure to write takes this path, a full disk, quota or file-size
        // limit included: the line stays queued and is written whole later.
        if (written > 0) atLineStart_ = dropFragment(written);
        report("write", std::strerror(errno));
        return false;
    }
    reported_ = false;
    return true;
}

void TroupeLogWriter::sync() {
    if (fd_ >= 0 && ::fdatasync(fd_) != 0)
        log::system(std::string("Cannot sync the troupe log: ") + std::strerror(errno));
    dirty_ = false;
}

}  // namespace tw
