#include "troupe/store/troupe_log_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <tuple>
#include <utility>

#include "platform/log.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {
constexpr auto kSyncInterval = std::chrono::seconds(1);
// While a line cannot be written: tried again soon, then less and less often.
constexpr std::chrono::milliseconds kFirstRetry{250};
constexpr std::chrono::milliseconds kLastRetry{4000};
constexpr auto kGather = std::chrono::milliseconds(2);
constexpr auto kQuietStep = std::chrono::milliseconds(50);
// How often a line of ours looks whether another program's torn line has ended.
constexpr auto kTornLineStep = std::chrono::milliseconds(20);
// Programs change a file in steps (a rename away, then a new file): what the watch told
// of is looked at once the steps are likely done.
constexpr auto kPokeSettle = std::chrono::milliseconds(20);
}  // namespace

TroupeLogWriter::TroupeLogWriter(std::filesystem::path file, WriteFunction writeFunction, Changed changed,
                                 Appended appended, TroupeLogReadControl::ReadFunction read,
                                 std::function<double()> secondsClock)
    : file_(std::move(file)),
      out_(std::make_shared<CallsOut>(std::move(changed), std::move(appended), std::move(read),
                                      std::move(secondsClock))),
      ledger_(std::make_shared<TroupeRunLedger>(file_.parent_path())),
      held_(
          file_, std::move(writeFunction), *ledger_,
          [this](std::uint64_t changes) { this->changed(changes); },
          [out = out_](TroupeLogAppended appended) { out->appended(std::move(appended)); },
          [this] {
              {
                  std::lock_guard lock(mutex_);
                  poked_ = true;
              }
              wake_.notify_one();
          },
          TroupeLogReadControl{&stopComparing_,
                               [out = out_](int fd, void* buffer, std::size_t size, off_t offset) {
                                   return out->read(fd, buffer, size, offset);
                               }},
          [out = out_] { return out->seconds(); }) {
    thread_ = std::thread([this] {
        loop();
        std::unique_lock lock(mutex_);
        ended_ = true;
        endedChanged_.notify_all();
        if (!left_) return;
        lock.unlock();
        delete this;  // nobody else holds it any more
    });
}

TroupeLogWriter::~TroupeLogWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopComparing_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (left_) return;  // said when it was left
    if (const std::size_t unwritten = unwrittenLines(); unwritten > 0)
        log::system(std::to_string(unwritten) + " accepted troupe event" + (unwritten == 1 ? "" : "s") +
                    " could not be written to " + file_.string() + " before quitting" +
                    whatBecomesOf(unwritten));
}

bool TroupeLogWriter::stop(std::unique_ptr<TroupeLogWriter>& writer, Deadline deadline) {
    if (!writer) return true;
    TroupeLogWriter& self = *writer;
    std::unique_lock lock(self.mutex_);
    self.stopping_ = true;
    self.stopComparing_ = true;
    self.wake_.notify_all();
    if (self.endedChanged_.wait_until(lock, deadline, [&] { return self.ended_; })) {
        lock.unlock();
        writer.reset();
        return true;
    }
    const std::size_t unwritten = self.unwrittenLinesLocked();
    log::system("The troupe log " + self.file_.string() + " did not answer in time to quit" +
                (unwritten == 0 ? std::string()
                                : "; " + std::to_string(unwritten) + " accepted troupe event" +
                                      (unwritten == 1 ? "" : "s") + " could not be written" +
                                      self.whatBecomesOf(unwritten)));
    self.left_ = true;
    self.thread_.detach();
    lock.unlock();
    self.out_->cut();
    (void)writer.release();  // deleted by its thread, if that ever ends
    return false;
}

std::string TroupeLogWriter::whatBecomesOf(std::size_t unwritten) const {
    if (!keptElsewhere_) return " and are lost";
    return std::string(unwritten == 1 ? "; it stays" : "; they stay") +
           " kept on this machine, and the next start writes what the log lacks";
}

std::size_t TroupeLogWriter::unwrittenLines() {
    std::lock_guard lock(mutex_);
    return unwrittenLinesLocked();
}

std::size_t TroupeLogWriter::unwrittenLinesLocked() const {
    std::size_t unwritten = writing_;
    for (const Job& job : jobs_) unwritten += std::holds_alternative<TroupeLogLine>(job) ? 1 : 0;
    return unwritten;
}

void TroupeLogWriter::write(std::string line, std::optional<Uuid> id) {
    enqueue(TroupeLogLine{std::move(line), id, std::nullopt});
}

void TroupeLogWriter::run(std::function<void()> job, FailureHandler failed) {
    enqueue(Task{std::move(job), std::move(failed)});
}

void TroupeLogWriter::enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (const auto* line = std::get_if<TroupeLogLine>(&job)) queuedBytes_ += line->text.size();
        jobs_.push_back(std::move(job));
        ++submitted_;
    }
    wake_.notify_one();
}

bool TroupeLogWriter::drain(Deadline deadline) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = submitted_;
    ++draining_;
    wake_.notify_one();
    // A failure counts once a try made after this call failed: what stood in the way may be gone.
    const std::uint64_t failures = failures_;
    const std::uint64_t looks = looks_;  // and the path looked at once after the call
    const auto done = [&] { return (synced_ >= target && looks_ > looks) || failures_ > failures; };
    const bool ended = progress_.wait_until(lock, deadline, done);
    --draining_;
    return ended && synced_ >= target;
}

std::string TroupeLogWriter::lineAt(std::uint64_t offset) {
    auto line = std::make_shared<std::string>();
    run([this, line, offset] { *line = held_.lineAt(offset); });
    // A line before that cannot be written holds the job back: nothing to read yet.
    return drain() ? *line : std::string();
}

std::uint64_t TroupeLogWriter::queuedBytes() {
    std::lock_guard lock(mutex_);
    return queuedBytes_;
}

void TroupeLogWriter::expectFile(TroupeLogPathWatch::Seen loaded,
                                 std::optional<TroupeLogBlockHashes> hashes) {
    run([this, loaded = std::move(loaded), hashes = std::move(hashes)]() mutable {
        held_.expect(std::move(loaded), std::move(hashes));
    });
}

void TroupeLogWriter::cut(std::function<void(TroupeLogCut)> take, FailureHandler failed) {
    run([this, take = std::move(take)] { take(held_.cut()); }, std::move(failed));
}

void TroupeLogWriter::writeAgain(TroupeRunLedger::Comparison comparison, std::uint64_t changesAtCut,
                                 std::optional<TroupeLogBlockHashes> hashes) {
    run([this, comparison = std::move(comparison), changesAtCut, hashes = std::move(hashes)]() mutable {
        writeMissing(held_.placeFound(std::move(comparison), changesAtCut, std::move(hashes)));
    });
}

// This run's lines the file at the path is found to lack, ahead of what is queued.
void TroupeLogWriter::writeMissing(std::vector<TroupeRunLedger::Line> missing) {
    if (missing.empty()) return;
    log::system("Appending " + std::to_string(missing.size()) + " troupe event" +
                (missing.size() == 1 ? "" : "s") + " of this run again that the file at " + file_.string() +
                " lacks");
    queueFront(std::move(missing));
}

// A look at the path, and what it found of the lines a reconcile could not reach.
void TroupeLogWriter::look(bool draining, bool sync, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    held_.look(draining);
    auto missing = held_.takeUnreached();
    if (sync && held_.dirty()) held_.sync();
    lock.lock();
    if (missing.empty()) return;
    lock.unlock();
    writeMissing(std::move(missing));
    lock.lock();
}

std::optional<TroupeLogWriter::QuitLook> TroupeLogWriter::lookBeforeQuitting(Deadline deadline) {
    // Shared with the job, which may run after a deadline passed.
    struct Taken {
        std::mutex mutex;
        std::optional<QuitLook> look;
    };
    auto taken = std::make_shared<Taken>();
    quitting_ = true;
    stopComparing_ = true;
    run([this, taken] {
        QuitLook look;
        std::tie(look.cut, look.doubtful) = held_.lookBeforeQuitting();
        look.unseen = held_.unseenLines();
        std::lock_guard lock(taken->mutex);
        taken->look = std::move(look);
    });
    // Lines that cannot be written hold the look back: there is nothing to add to them.
    drain(deadline);
    std::lock_guard lock(taken->mutex);
    return std::move(taken->look);
}

void TroupeLogWriter::appendAgain(std::vector<TroupeRunLedger::Line> lines) {
    run([this, lines = std::move(lines)]() mutable { queueFront(std::move(lines)); });
}

void TroupeLogWriter::waitForQuiet(std::chrono::milliseconds quiet, const std::atomic<bool>& stop) {
    std::unique_lock lock(mutex_);
    for (auto since = std::chrono::steady_clock::now() - lastChange_; since < quiet && !stop;
         since = std::chrono::steady_clock::now() - lastChange_) {
        progress_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(quiet - since, kQuietStep));
    }
}

// Ahead of what is queued, as lines are, to be tried again when they cannot be written.
void TroupeLogWriter::queueFront(std::vector<TroupeRunLedger::Line> lines) {
    std::lock_guard lock(mutex_);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        queuedBytes_ += line->text.size();
        jobs_.emplace_front(TroupeLogLine{std::move(line->text), std::nullopt, line->entry});
    }
    submitted_ += lines.size();
}

void TroupeLogWriter::loop() {
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty() && !(held_.dirty() && draining_ > 0) && !stopping_) waitAtRest(lock, lastSync);
        lookAtPath_ = true;
        while (!jobs_.empty()) {
            if (auto* task = std::get_if<Task>(&jobs_.front())) {
                Task job = std::move(*task);
                jobs_.pop_front();
                lock.unlock();
                runTask(job);
                lock.lock();
                ++done_;
                // A job may have read the log for a while: the path may hold another file by now.
                lookAtPath_ = true;
                continue;
            }
            std::vector<TroupeLogLine> lines = takeLines();
            lock.unlock();
            std::size_t done = 0;
            const auto written = held_.writeLines(lines, std::exchange(lookAtPath_, false), quitting_, done);
            lock.lock();
            writing_ = 0;
            for (std::size_t i = 0; i < done; ++i) queuedBytes_ -= lines[i].text.size();
            done_ += done;
            // Those not written go back, in order, with their places.
            for (std::size_t i = lines.size(); i > done; --i) jobs_.emplace_front(std::move(lines[i - 1]));
            if (written == TroupeLogHeldFile::Written::waiting) {
                // Another program's line at the end of the file is not done: not a failure.
                wake_.wait_for(lock, kTornLineStep);
                continue;
            }
            if (written == TroupeLogHeldFile::Written::failed) {
                // Try again in a while.
                ++failures_;
                retrying_ = true;
                progress_.notify_all();
                if (stopping_) return;
                retryIn_ = std::min(retryIn_ == retryIn_.zero() ? kFirstRetry : retryIn_ * 2, kLastRetry);
                wake_.wait_for(lock, retryIn_);
                lookAtPath_ = true;
                continue;
            }
            retrying_ = false;
            retryIn_ = retryIn_.zero();
        }
        const bool due = Clock::now() - lastSync >= kSyncInterval;
        if ((held_.dirty() && due) || draining_ > 0 || stopping_) {
            // Whoever waits for the disk is told of a change made before the wait.
            look(draining_ > 0, true, lock);
            lastSync = Clock::now();
            ++looks_;
        }
        if (!held_.dirty()) synced_ = done_;
        progress_.notify_all();
        if (stopping_ && jobs_.empty()) return;
    }
}

// The lines at the front of the queue, as many as one write may carry (one at least), out of it.
std::vector<TroupeLogLine> TroupeLogWriter::takeLines() {
    std::vector<TroupeLogLine> lines;
    std::size_t bytes = 0;
    while (!jobs_.empty()) {
        auto* line = std::get_if<TroupeLogLine>(&jobs_.front());
        if (line == nullptr || (!lines.empty() && bytes + line->text.size() > held_.mostBytesAWrite())) break;
        bytes += line->text.size();
        lines.push_back(std::move(*line));
        jobs_.pop_front();
    }
    writing_ = lines.size();
    return lines;
}

void TroupeLogWriter::runTask(Task& task) {
    auto error = failureOf(task.job);
    if (!error) return;
    // Like any worker thread here: a job that throws must not end the app.
    log::system("A troupe log job failed: " + *error);
    if (!task.failed) return;
    if (auto again = failureOf([&] { task.failed(*error); }))
        log::system("Cannot report a failed troupe log job: " + *again);
}

// Nothing to write: sleeps until a line comes, the path watch tells of something, a sync
// is due or the slow poll's time has come, and looks at the path for the last two.
void TroupeLogWriter::waitAtRest(std::unique_lock<std::mutex>& lock,
                                 std::chrono::steady_clock::time_point lastSync) {
    using Clock = std::chrono::steady_clock;
    auto until = std::min(nextLook_, held_.nextCheck());
    if (held_.dirty()) until = std::min(until, lastSync + kSyncInterval);
    if (!poked_) wake_.wait_until(lock, until);
    if (poked_)
        wake_.wait_for(lock, kPokeSettle, [&] { return stopping_ || !jobs_.empty() || draining_ > 0; });
    if (stopping_) return;
    if (!jobs_.empty() && !poked_) {
        if (draining_ > 0) return;
        // Let a burst of lines gather: waking this thread per line costs the main thread
        // more than the line's write does.
        lock.unlock();
        std::this_thread::sleep_for(kGather);
        lock.lock();
        return;
    }
    const auto now = Clock::now();
    if (!poked_ && now < nextLook_ && now < held_.nextCheck()) return;
    if (poked_) held_.markUnverified();
    poked_ = false;
    lock.unlock();
    held_.rearm();
    lock.lock();
    look(false, false, lock);
    if (Clock::now() >= nextLook_) nextLook_ = Clock::now() + TroupeLogPathWatch::slowPoll;
}

// Said by the file held, on this thread.
void TroupeLogWriter::changed(std::uint64_t changes) {
    {
        std::lock_guard lock(mutex_);
        lastChange_ = std::chrono::steady_clock::now();
    }
    progress_.notify_all();
    out_->changed(changes);
}

TroupeLogWriter::CallsOut::CallsOut(Changed changed, Appended appended,
                                    TroupeLogReadControl::ReadFunction read, std::function<double()> clock)
    : changed_(std::move(changed)),
      appended_(std::move(appended)),
      read_(std::move(read)),
      clock_(std::move(clock)) {}

void TroupeLogWriter::CallsOut::changed(std::uint64_t changes) {
    std::lock_guard lock(mutex_);
    if (changed_) changed_(changes);
}

void TroupeLogWriter::CallsOut::appended(TroupeLogAppended appended) {
    std::lock_guard lock(mutex_);
    if (appended_) appended_(std::move(appended));
}

// Not under the mutex: a read may hang on a dead mount, and the cut must not wait for it.
ssize_t TroupeLogWriter::CallsOut::read(int fd, void* buffer, std::size_t size, off_t offset) {
    return read_ && !cut_ ? read_(fd, buffer, size, offset) : ::pread(fd, buffer, size, offset);
}

double TroupeLogWriter::CallsOut::seconds() {
    std::lock_guard lock(mutex_);
    return clock_ ? clock_() : steadySeconds() + sinceCut_;
}

void TroupeLogWriter::CallsOut::cut() {
    std::lock_guard lock(mutex_);
    if (clock_) sinceCut_ = clock_() - steadySeconds();  // never back
    changed_ = {};
    appended_ = {};
    clock_ = {};
    cut_ = true;
}

double TroupeLogWriter::CallsOut::steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace tw
