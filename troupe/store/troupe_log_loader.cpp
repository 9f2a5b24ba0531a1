#include "troupe/store/troupe_log_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/log.h"
#include "platform/serial_executor.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

// What the loader's thread and the writer's share with it. The loader clears `owner` and
// `writer` when it goes, so results posted after that find nobody.
struct TroupeLogLoader::Shared : std::enable_shared_from_this<Shared> {
    std::filesystem::path file;
    TroupeLogReadControl::ReadFunction read;
    MainQueue* mainQueue = nullptr;
    std::atomic<bool> stopRequested = false;  // quitting: the load ends, nothing waits for quiet
    std::atomic<bool> givenUp = false;        // the quit's wait is over: every read ends
    TroupeLogLoader* owner = nullptr;         // main thread only

    std::mutex mutex;
    std::condition_variable ready;
    TroupeLogWriter* writer = nullptr;  // used under the mutex
    bool firstDone = false;
    std::optional<TroupeLogLoad> first;                            // until handed over
    std::vector<std::pair<std::uint64_t, TroupeLogLoad>> results;  // by generation, until handed over
    bool changed = false;                                          // the writer saw the file change
    std::unique_ptr<ThreadSerialExecutor> reads;
    std::uint64_t jobsAsked = 0;
    std::uint64_t jobsDone = 0;

    // Wakes whoever waits and has the main thread look.
    void announce() {
        ready.notify_all();
        mainQueue->post([weak = weak_from_this()] {
            if (auto s = weak.lock(); s && s->owner) s->owner->takeNews();
        });
    }

    void post(std::uint64_t generation, TroupeLogLoad load) {
        {
            std::lock_guard lock(mutex);
            results.emplace_back(generation, std::move(load));
        }
        announce();
    }

    // A quit stops the launch's load at once, and gives a reconcile the quit's wait.
    TroupeLogReadControl control(bool first = false) const {
        return {first ? &stopRequested : &givenUp, read};
    }
    void submit(std::function<void()> job) {
        std::lock_guard lock(mutex);
        if (!reads) return;
        ++jobsAsked;
        reads->execute([weak = weak_from_this(), job = std::move(job)] {
            job();
            if (auto self = weak.lock()) {
                std::lock_guard lock(self->mutex);
                ++self->jobsDone;
                self->ready.notify_all();
            }
        });
    }
};

namespace {

// Reads `opened` up to its size and folds it. Each block is indexed and folded as it is
// decoded, through a short window that puts lines a little out of the fold's order (as
// a log is written) in place; only a log with a line far out of place is read again
// and held whole to be sorted. Nothing half-read is kept: a stopped read has no fold.
TroupeLogLoad readAndFold(const atomic_file::OpenedFile& opened, std::string unusable, Date tailFrom,
                          const TroupeLogReadControl& control) {
    TroupeLogLoad load;
    load.index = std::make_unique<TroupeEventIndex>();
    load.live = std::make_unique<TroupeLiveFold>(tailFrom);
    load.log = std::make_unique<TroupeLoadedLog>();
    load.log->readError = std::move(unusable);
    bool inOrder = true;
    if (opened.status == atomic_file::ReadStatus::ok) {
        TroupeLiveFold& live = *load.live;
        *load.log = readTroupeLogBlocks(
            opened, 0, load.index.get(),
            [&](std::vector<std::optional<TroupeEvent>>& events, const std::vector<std::uint64_t>&,
                const std::vector<bool>& seenBefore) {
                for (std::size_t i = 0; i < events.size() && inOrder; ++i) {
                    if (events[i]) inOrder = live.take(std::move(*events[i]), seenBefore[i]);
                }
            },
            control);
    }
    if (!load.log->stopped && inOrder) {
        load.live->finishTaking();
    } else if (!load.log->stopped) {
        load.live.reset();
        TroupeLoadedLog again =
            readTroupeLog(opened, troupeLogMaxLineBytes, troupeLogReadBlockBytes, control);
        if (!again.readError.empty())
            throw std::runtime_error("cannot read the log again: " + again.readError);
        load.log->stopped = again.stopped;
        if (!again.stopped) load.live = std::make_unique<TroupeLiveFold>(std::move(again.events), tailFrom);
    }
    if (load.log->stopped) {
        load.live.reset();
        load.index.reset();
    }
    // A read that failed part way still read a file of that size: not a change to look into.
    if (!load.log->readError.empty() && opened.status == atomic_file::ReadStatus::ok)
        load.log->endOffset = opened.size;
    load.nextOffset = load.log->endOffset + (load.log->endsWithNewline ? 0 : 1);
    return load;
}

// A reconcile's result that leaves the snapshot as it was.
TroupeLogLoad nothingRead() {
    TroupeLogLoad load;
    load.first = false;
    return load;
}

// A reconcile up to `cut`: the file folded, and this run's events it lacks put back (unless
// it changed since the cut). Whatever throws, a result comes back: one that fails leaves the
// snapshot as it was, and the quit appends what no reconcile saw in the file.
TroupeLogLoad reconcileUpTo(const TroupeLogCut& cut, Date tailFrom, TroupeLogLoader::Shared& shared) {
    TroupeLogLoad load = nothingRead();
    if (auto error = failureOf([&] {
            if (cut.file.status != atomic_file::ReadStatus::ok) throw std::runtime_error("the log is gone");
            load = readAndFold(cut.file, {}, tailFrom, shared.control());
            load.first = false;
            if (!load.log->readError.empty()) throw std::runtime_error(load.log->readError);
            if (!load.live) return;  // stopped
            std::lock_guard lock(shared.mutex);
            if (!shared.writer) return;
            auto lines = shared.writer->ledger().linesMissingFrom(load.index.get(), cut.ledgerEntries);
            for (const auto& line : lines)
                load.missing.push_back(
                    decodeTroupeLogLine(std::string_view(line.text).substr(0, line.text.size() - 1)));
            shared.writer->writeAgain(std::move(lines), cut.changes);
        })) {
        log::system("Cannot read the troupe log again: " + *error + "; the troupe stays as it was");
        load = nothingRead();
    }
    return load;
}

Date tailFor(Date from) { return Date{std::floor(from.seconds) - TroupeLiveFold::reorderWindowSeconds}; }

}  // namespace

TroupeLogLoader::TroupeLogLoader(std::filesystem::path file, const Clock& clock, MainQueue& mainQueue,
                                 TroupeLogReadControl::ReadFunction read, Handler handler)
    : clock_(clock),
      mainQueue_(mainQueue),
      handler_(std::move(handler)),
      shared_(std::make_shared<Shared>()) {
    shared_->file = std::move(file);
    shared_->read = std::move(read);
    shared_->mainQueue = &mainQueue_;
    shared_->owner = this;
    shared_->reads = std::make_unique<ThreadSerialExecutor>();
}

TroupeLogLoader::~TroupeLogLoader() {
    stop();
    shared_->givenUp = true;
    shared_->owner = nullptr;
    std::unique_ptr<ThreadSerialExecutor> reads;
    bool idle = false;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->writer = nullptr;
        reads = std::move(shared_->reads);
        idle = shared_->ready.wait_until(lock, *stoppedAt_ + quitWait + std::chrono::milliseconds(500),
                                         [&] { return shared_->jobsDone == shared_->jobsAsked; });
    }
    if (idle) return;  // `reads` joins at once
    log::system("A read of the troupe log did not end in time; it is left to end on its own");
    std::thread([reads = std::move(reads)]() mutable { reads.reset(); }).detach();
}

void TroupeLogLoader::attach(TroupeLogWriter& writer) {
    std::lock_guard lock(shared_->mutex);
    shared_->writer = &writer;
}

void TroupeLogLoader::start(Date tailFrom) {
    shared_->submit([weak = std::weak_ptr<Shared>(shared_), tailFrom] {
        auto shared = weak.lock();
        if (!shared) return;
        TroupeLogLoad load;
        atomic_file::OpenedFile opened;
        if (auto error = failureOf([&] {
                std::string unusable;
                opened = openTroupeLog(shared->file, unusable);
                load = readAndFold(opened, std::move(unusable), tailFrom, shared->control(true));
            })) {
            // One that could not read the log: the troupe starts empty and the log stays as
            // it is. The file opened is still the one read, not one that took its place.
            load = TroupeLogLoad{};
            load.log = std::make_unique<TroupeLoadedLog>();
            load.log->readError = "the load failed (" + *error + ")";
            if (struct stat info{};
                opened.status == atomic_file::ReadStatus::ok && ::fstat(opened.fd, &info) == 0)
                load.log->file = atomic_file::FileIdentity::of(info);
            load.log->endOffset = opened.size;
            load.live = std::make_unique<TroupeLiveFold>(std::vector<TroupeEvent>{}, tailFrom);
            load.index = std::make_unique<TroupeEventIndex>();
        }
        {
            std::lock_guard lock(shared->mutex);
            shared->first = std::move(load);
            shared->firstDone = true;
        }
        shared->announce();
    });
}

std::function<void(std::uint64_t)> TroupeLogLoader::changeHandler() {
    return [weak = std::weak_ptr<Shared>(shared_)](std::uint64_t) {
        auto shared = weak.lock();
        if (!shared) return;
        {
            std::lock_guard lock(shared->mutex);
            shared->changed = true;
        }
        shared->announce();
    };
}

// Hands over what the loader's thread and the writer left: the launch's load, finished
// reconciles and a change. False when there was nothing.
bool TroupeLogLoader::takeNews() {
    std::optional<TroupeLogLoad> first = takeFirst(false);
    std::vector<std::pair<std::uint64_t, TroupeLogLoad>> results;
    bool changed = false;
    {
        std::lock_guard lock(shared_->mutex);
        results = std::move(shared_->results);
        shared_->results.clear();
        changed = std::exchange(shared_->changed, false);
    }
    if (first) handler_(std::move(*first));
    for (auto& [generation, load] : results) finish(generation, std::move(load));
    if (changed) fileChanged();
    return first || !results.empty() || changed;
}

bool TroupeLogLoader::settle() {
    bool any = false;
    for (;;) {
        any = takeNews() || any;
        if (!since_ || quitWaitIsOver()) return any;
        // A cut waits behind a line that cannot be written: nothing to wait for.
        std::unique_lock lock(shared_->mutex);
        while (!shared_->ready.wait_for(lock, std::chrono::milliseconds(50),
                                        [&] { return !shared_->results.empty() || shared_->changed; })) {
            if (shared_->writer && shared_->writer->retrying()) return any;
            if (quitWaitIsOver()) break;
        }
    }
}

bool TroupeLogLoader::quitWaitIsOver() {
    if (!stoppedAt_ || std::chrono::steady_clock::now() - *stoppedAt_ < quitWait) return false;
    shared_->givenUp = true;
    if (!std::exchange(quitWaitSaid_, true)) log::system("Quitting before the troupe log was read again");
    return true;
}

std::optional<TroupeLogLoad> TroupeLogLoader::takeFirst(bool wait) {
    std::unique_lock lock(shared_->mutex);
    const auto done = [&] { return shared_->firstDone; };
    if (wait && !stoppedAt_) shared_->ready.wait(lock, done);
    if (wait && stoppedAt_) shared_->ready.wait_until(lock, *stoppedAt_ + quitWait, done);
    std::optional<TroupeLogLoad> first = std::move(shared_->first);
    shared_->first.reset();
    return first;
}

void TroupeLogLoader::refold(Date from) {
    if (since_ || stoppedAt_) return;  // the running one settles it; what it misses is refolded next
    log::info("A troupe event from before the last minute arrived; refolding the log");
    reconcile(tailFor(from));
}

void TroupeLogLoader::fileChanged() {
    if (shared_->givenUp) return;  // the quit appends what no reconcile saw
    if (since_)
        again_ = true;
    else
        reconcile(tailFor(clock_.now()));
}

void TroupeLogLoader::accepted(const TroupeEvent& event, std::size_t lineBytes) {
    if (since_) since_->emplace_back(event, lineBytes);
}

void TroupeLogLoader::stop() {
    shared_->stopRequested = true;
    if (!stoppedAt_) stoppedAt_ = std::chrono::steady_clock::now();
    shared_->ready.notify_all();
}

void TroupeLogLoader::reconcile(Date tailFrom) {
    const std::uint64_t generation = ++generation_;
    since_.emplace();
    again_ = false;
    shared_->submit([weak = std::weak_ptr<Shared>(shared_), generation, tailFrom] {
        auto shared = weak.lock();
        if (!shared) return;
        TroupeLogWriter* writer = nullptr;
        {
            std::lock_guard lock(shared->mutex);
            writer = shared->writer;
        }
        // The writer outlives what runs here, up to a read that is left to end on its own.
        if (writer == nullptr || shared->givenUp) return shared->post(generation, nothingRead());
        writer->waitForQuiet(quiet, shared->stopRequested);
        writer->cut(
            [weak, generation, tailFrom](TroupeLogCut taken) {
                auto shared = weak.lock();
                if (!shared) return;
                auto cut = std::make_shared<TroupeLogCut>(std::move(taken));
                shared->submit([weak, generation, tailFrom, cut] {
                    if (auto shared = weak.lock())
                        shared->post(generation, reconcileUpTo(*cut, tailFrom, *shared));
                });
            },
            // No cut, no read: the snapshot stays as it was, and a settle waits no more.
            [weak, generation](const std::string&) {
                if (auto shared = weak.lock()) shared->post(generation, nothingRead());
            });
    });
}

void TroupeLogLoader::finish(std::uint64_t generation, TroupeLogLoad load) {
    if (generation != generation_ || !since_) return;
    auto since = std::move(*since_);
    since_.reset();
    std::optional<Date> earliestMisplaced;
    if (load.live) {
        // This run's events the file lacked, and those accepted after the cut, follow it in
        // the file; an id the file read has already keeps that line, as the next launch reads it.
        const auto fold = [&](const TroupeEvent& event, std::size_t lineBytes) {
            const bool fresh = load.index->insert(event.id, load.nextOffset);
            load.nextOffset += lineBytes + 1;
            if (fresh && !load.live->apply(event, clock_.now()) &&
                (!earliestMisplaced || event.ts < *earliestMisplaced))
                earliestMisplaced = event.ts;
        };
        for (const TroupeEvent& event : load.missing) fold(event, 0);
        for (const auto& [event, lineBytes] : since) fold(event, lineBytes);
        handler_(std::move(load));
    }
    if (earliestMisplaced || again_) reconcile(tailFor(earliestMisplaced.value_or(clock_.now())));
}

}  // namespace tw
