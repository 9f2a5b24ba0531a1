#include "troupe/store/troupe_log_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/log.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_loader_reads.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

namespace {

constexpr std::chrono::milliseconds kFirstRetry{500};

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
    if (refoldTimer_) mainQueue_.cancel(*refoldTimer_);
    stop();
    shared_->givenUp = true;
    shared_->owner = nullptr;
    std::unique_ptr<ThreadSerialExecutor> reads;
    bool idle = false;
    {
        // From here what still runs on the read thread posts nothing and says nothing.
        std::unique_lock lock(shared_->mutex);
        shared_->mainQueue = nullptr;
        shared_->writer = nullptr;
        shared_->ledger.reset();
        reads = std::move(shared_->reads);
        shared_->ready.notify_all();
        idle = shared_->ready.wait_until(lock, quitDeadline(),
                                         [&] { return shared_->jobsDone == shared_->jobsAsked; });
    }
    if (idle) return;  // `reads` joins at once
    log::system("A read of the troupe log did not end in time; it is left to end on its own");
    std::thread([reads = std::move(reads)]() mutable { reads.reset(); }).detach();
}

void TroupeLogLoader::attach(TroupeLogWriter& writer) {
    std::lock_guard lock(shared_->mutex);
    shared_->writer = &writer;
    shared_->ledger = writer.sharedLedger();
}

void TroupeLogLoader::start(Date tailFrom) {
    lastWholeRead_ = clock_.monotonic();
    shared_->submit([weak = std::weak_ptr<Shared>(shared_), tailFrom] {
        auto shared = weak.lock();
        if (!shared) return;
        TroupeLogLoad load;
        atomic_file::OpenedFile opened;
        if (auto error = failureOf([&] {
                std::string unusable;
                opened = openTroupeLog(shared->file, unusable);
                load = readAndFoldTroupeLog(opened, std::move(unusable), tailFrom, shared->control(true));
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
    return [weak = std::weak_ptr<Shared>(shared_)](std::uint64_t changes) {
        auto shared = weak.lock();
        if (!shared) return;
        {
            std::lock_guard lock(shared->mutex);
            shared->changed = true;
            shared->changes = std::max(shared->changes, changes);
        }
        shared->announce();
    };
}

std::function<void(TroupeLogAppended)> TroupeLogLoader::appendedHandler() {
    return [weak = std::weak_ptr<Shared>(shared_)](TroupeLogAppended appended) {
        auto shared = weak.lock();
        if (!shared || shared->over()) return;  // a quit reads what it must itself
        auto lines = std::make_shared<TroupeLogAppended>(std::move(appended));
        shared->submit([weak, lines] {
            if (auto shared = weak.lock()) readAppendedToTroupeLog(*shared, *lines);
        });
    };
}

// Hands over what the loader's thread and the writer left: the launch's load, finished
// reconciles, lines others appended and a change. False when there was nothing.
bool TroupeLogLoader::takeNews() {
    std::optional<TroupeLogLoad> first = takeFirst(false);
    std::vector<std::pair<std::uint64_t, TroupeLogLoad>> results;
    std::vector<TroupeLogLoad> appended;
    bool changed = false;
    {
        std::lock_guard lock(shared_->mutex);
        results = std::move(shared_->results);
        shared_->results.clear();
        // Lines appended to a file that changed since are read again with it.
        appended = std::move(shared_->appended);
        shared_->appended.clear();
        std::erase_if(appended, [&](const TroupeLogLoad& load) { return load.changes < shared_->changes; });
        changed = std::exchange(shared_->changed, false);
    }
    if (first) handler_(std::move(*first));
    for (auto& load : appended) foldAppended(std::move(load));
    for (auto& [generation, load] : results) finish(generation, std::move(load));
    if (changed) fileChanged();
    return first || !results.empty() || !appended.empty() || changed;
}

bool TroupeLogLoader::settle() {
    bool any = false;
    for (;;) {
        any = takeNews() || any;
        if (refoldTimer_) {
            mainQueue_.cancel(*std::exchange(refoldTimer_, std::nullopt));
            refoldNow();
        }
        std::unique_lock lock(shared_->mutex);
        const auto news = [&] {
            return !shared_->results.empty() || !shared_->appended.empty() || shared_->changed;
        };
        const auto busy = [&] { return since_.has_value() || shared_->jobsDone != shared_->jobsAsked; };
        if (!busy() && !news()) return any;
        while (!shared_->ready.wait_for(lock, std::chrono::milliseconds(50),
                                        [&] { return news() || !busy(); })) {
            // A cut waits behind a line that cannot be written, a failed read for its
            // back-off: nothing to wait for.
            if ((shared_->writer && shared_->writer->retrying()) || shared_->backingOff) return any;
        }
    }
}

std::chrono::steady_clock::time_point TroupeLogLoader::quitDeadline() const {
    return stoppedAt_.value_or(std::chrono::steady_clock::now()) + quitWait;
}

void TroupeLogLoader::resumeQuitClock() {
    if (stoppedAt_) stoppedAt_ = std::chrono::steady_clock::now() - quitWaited_;
}

std::optional<TroupeLogLoad> TroupeLogLoader::takeFirst(bool wait) {
    std::unique_lock lock(shared_->mutex);
    const auto done = [&] { return shared_->firstDone; };
    if (wait && !stoppedAt_) shared_->ready.wait(lock, done);
    if (wait && stoppedAt_) {
        const auto from = std::chrono::steady_clock::now();
        shared_->ready.wait_until(lock, *stoppedAt_ + quitWait, done);
        quitWaited_ += std::chrono::steady_clock::now() - from;
    }
    std::optional<TroupeLogLoad> first = std::move(shared_->first);
    shared_->first.reset();
    return first;
}

void TroupeLogLoader::refold(Date from) {
    if (since_ || stoppedAt_) return;  // the running one settles it; what it misses is refolded next
    if (!refoldFrom_ || from < *refoldFrom_) refoldFrom_ = from;
    if (!outOfPlaceSince_ || from < *outOfPlaceSince_) outOfPlaceSince_ = from;
    if (refoldTimer_) return;
    const double wait =
        lastWholeRead_ ? std::min(*lastWholeRead_ + refoldEvery - clock_.monotonic(), refoldEvery) : 0;
    if (!(wait > 0)) return refoldNow();
    refoldTimer_ = mainQueue_.postAfter(wait, [this] {
        refoldTimer_.reset();
        refoldNow();
    });
}

void TroupeLogLoader::refoldNow() {
    if (since_ || stoppedAt_ || !refoldFrom_) return;
    log::info("A troupe event from before the last minute arrived; refolding the log");
    reconcile(*refoldFrom_);
}

void TroupeLogLoader::fileChanged() {
    if (stoppedAt_) return;  // the quit looks at the file itself
    if (since_)
        again_ = true;
    else
        reconcile(clock_.now());
}

void TroupeLogLoader::accepted(const TroupeEvent& event, std::size_t lineBytes) {
    if (since_) since_->emplace_back(event, lineBytes);
}

void TroupeLogLoader::stop() {
    shared_->stopRequested = true;
    // A reconcile's read is left too: the quit reads back what it must itself.
    shared_->givenUp = true;
    if (!stoppedAt_) stoppedAt_ = std::chrono::steady_clock::now();
    std::lock_guard lock(shared_->mutex);
    shared_->ready.notify_all();
}

// A whole read, keeping the events from a minute before `from` (or before any event that
// landed out of place this run, so that the read takes its line in its turn) in the fold's
// tail; it does the refold that waits.
void TroupeLogLoader::reconcile(Date from) {
    if (outOfPlaceSince_ && *outOfPlaceSince_ < from) from = *outOfPlaceSince_;
    refoldFrom_.reset();
    if (refoldTimer_) mainQueue_.cancel(*std::exchange(refoldTimer_, std::nullopt));
    lastWholeRead_ = clock_.monotonic();
    const std::uint64_t generation = ++generation_;
    since_.emplace();
    again_ = false;
    reconcileTroupeLog(shared_, generation, tailFor(from), kFirstRetry);
}

// Another program's lines on top of the snapshot as it is, and of a reconcile's that may
// have been cut before them.
void TroupeLogLoader::foldAppended(TroupeLogLoad load) {
    for (std::size_t i = 0; since_ && i < load.appended.size(); ++i) {
        const std::uint64_t next =
            i + 1 < load.appended.size() ? load.appended[i + 1].second : load.nextOffset;
        since_->emplace_back(load.appended[i].first, next - load.appended[i].second - 1);
    }
    handler_(std::move(load));
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
            if (fresh && !load.live->applyLine(event, false, clock_.now()) &&
                (!earliestMisplaced || event.ts < *earliestMisplaced))
                earliestMisplaced = event.ts;
        };
        for (const TroupeEvent& event : load.missing) fold(event, 0);
        for (const auto& [event, lineBytes] : since) fold(event, lineBytes);
        handler_(std::move(load));
    }
    if (stoppedAt_) return;
    if (again_)
        reconcile(earliestMisplaced.value_or(clock_.now()));
    else if (earliestMisplaced)
        refold(*earliestMisplaced);
}

}  // namespace tw
