#include "troupe/store/troupe_log_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "platform/log.h"
#include "platform/serial_executor.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

// What the loader's thread and the writer's share with it. The loader clears `owner`
// when it goes, so results posted after that find nobody.
struct TroupeLogLoader::Shared : std::enable_shared_from_this<Shared> {
    std::filesystem::path file;
    TroupeLogReadControl::ReadFunction read;
    MainQueue* mainQueue = nullptr;
    std::atomic<bool> stopRequested = false;
    TroupeLogLoader* owner = nullptr;  // main thread only

    std::mutex mutex;
    std::condition_variable ready;
    bool firstDone = false;
    std::optional<TroupeLogLoad> first;                           // until handed over
    std::vector<std::pair<std::uint64_t, TroupeLogLoad>> reread;  // by generation, until handed over
    std::optional<std::uint64_t> replacedAfterCuts;               // the writer went on in another file
    std::unique_ptr<ThreadSerialExecutor> reads;

    // Wakes whoever waits and has the main thread look.
    void announce(std::shared_ptr<Shared> self) {
        ready.notify_all();
        mainQueue->post([weak = std::weak_ptr<Shared>(self)] {
            if (auto s = weak.lock(); s && s->owner) s->owner->takeNews();
        });
    }

    void post(std::uint64_t generation, TroupeLogLoad load) {
        {
            std::lock_guard lock(mutex);
            reread.emplace_back(generation, std::move(load));
        }
        announce(shared_from_this());
    }

    TroupeLogReadControl control() const { return {&stopRequested, read}; }
    void submit(std::function<void()> job) {
        std::lock_guard lock(mutex);
        if (reads) reads->execute(std::move(job));
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
    load.nextOffset = load.log->endOffset + (load.log->endsWithNewline ? 0 : 1);
    return load;
}

// A re-read's result that leaves the snapshot as it was.
TroupeLogLoad nothingRead() {
    TroupeLogLoad load;
    load.first = false;
    return load;
}

// How much this run wrote to the replaced files, each file's size taken as it is now.
std::uint64_t sizeUpReplaced(std::vector<TroupeLogCut::Replaced>& replaced) {
    std::uint64_t written = 0;
    for (TroupeLogCut::Replaced& old : replaced) {
        struct stat info {};
        if (::fstat(old.file.fd, &info) == 0) old.file.size = static_cast<std::uint64_t>(info.st_size);
        if (old.file.size > old.from) written += old.file.size - old.from;
    }
    return written;
}

// The events this run wrote to the replaced files (sized up) that `index` lacks, all of
// them without one. Never stopped: a run's own lines are few, and a quit must not leave
// them in a file nobody can reach.
std::vector<TroupeEvent> missingFrom(const std::vector<TroupeLogCut::Replaced>& replaced,
                                     const TroupeEventIndex* index,
                                     const TroupeLogReadControl::ReadFunction& read) {
    std::vector<TroupeEvent> missing;
    TroupeEventIndex taken;
    for (const TroupeLogCut::Replaced& old : replaced) {
        const TroupeLoadedLog own = readTroupeLogBlocks(
            old.file, old.from, nullptr,
            [&](std::vector<std::optional<TroupeEvent>>& events, const std::vector<std::uint64_t>&,
                const std::vector<bool>&) {
                for (auto& event : events) {
                    if (event && !(index && index->contains(event->id)) && taken.insert(event->id, 0))
                        missing.push_back(std::move(*event));
                }
            },
            {nullptr, read});
        if (!own.readError.empty()) throw std::runtime_error(own.readError);
    }
    return missing;
}

// Indexes this run's lines of `opened` from `from` on, keeping the events whose ids
// the file does not hold before them, to fold on top.
void readOwn(const atomic_file::OpenedFile& opened, std::uint64_t from, TroupeLogLoad& load,
             const TroupeLogReadControl& control) {
    const TroupeLoadedLog own = readTroupeLogBlocks(
        opened, from, load.index.get(),
        [&](std::vector<std::optional<TroupeEvent>>& events, const std::vector<std::uint64_t>&,
            const std::vector<bool>& seenBefore) {
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (events[i] && !seenBefore[i]) load.own.push_back(std::move(*events[i]));
            }
        },
        control);
    if (!own.readError.empty()) throw std::runtime_error(own.readError);
    if (own.stopped) load.live.reset();
    load.nextOffset = own.endOffset + (own.endsWithNewline ? 0 : 1);
}

// A re-read up to `cut`: the file folded, and what this run wrote to the files replaced
// since the last one and that file lacks. Whatever throws, a result comes back: a fold
// that fails leaves the snapshot as it was, and lines that cannot be compared are said
// to be lost, once each.
TroupeLogLoad readUpTo(TroupeLogCut& cut, Date tailFrom, bool whole, const TroupeLogReadControl& control) {
    TroupeLogLoad load = nothingRead();
    if (auto error = failureOf([&] {
            if (cut.file.status != atomic_file::ReadStatus::ok) throw std::runtime_error("the log is gone");
            // A refold folds this run's lines in their place; a re-read of a file that
            // took the log's place folds what it held as a first load would.
            const std::uint64_t end = cut.file.size;
            if (whole) cut.ownFrom = end;
            cut.file.size = cut.ownFrom;
            load = readAndFold(cut.file, {}, tailFrom, control);
            load.first = false;
            cut.file.size = end;
            if (!load.log->readError.empty()) throw std::runtime_error(load.log->readError);
            if (load.live && end > cut.ownFrom) readOwn(cut.file, cut.ownFrom, load, control);
        })) {
        log::system("Cannot read the troupe log again: " + *error + "; the troupe stays as it was");
        load = nothingRead();
    }
    // Without a fold (a quit stopped the read, or it failed) there is nothing to compare
    // with here: the writer compares them with the end of the file it writes to.
    if (auto error = failureOf([&] {
            load.written = sizeUpReplaced(cut.replaced);
            load.missing = missingFrom(cut.replaced, load.live ? load.index.get() : nullptr, control.read);
        })) {
        log::system("Cannot read again what this run wrote to a replaced troupe log (" + *error +
                    "); the file that was the log keeps it, and the troupe stays as it was");
        load = nothingRead();
    }
    cut.replaced.clear();  // closes what the writer handed over
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
    shared_->owner = nullptr;
    std::unique_ptr<ThreadSerialExecutor> reads;
    {
        std::lock_guard lock(shared_->mutex);
        reads = std::move(shared_->reads);
    }
    reads.reset();  // joins once what runs has stopped
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
                load = readAndFold(opened, std::move(unusable), tailFrom, shared->control());
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
        shared->announce(shared);
    });
}

std::function<void(std::uint64_t)> TroupeLogLoader::replacementHandler() {
    return [weak = std::weak_ptr<Shared>(shared_)](std::uint64_t cutsTaken) {
        auto shared = weak.lock();
        if (!shared) return;
        {
            std::lock_guard lock(shared->mutex);
            shared->replacedAfterCuts = cutsTaken;
        }
        shared->announce(shared);
    };
}

// Hands over what the loader's thread and the writer left: the launch's load, finished
// re-reads and a replacement. False when there was nothing.
bool TroupeLogLoader::takeNews() {
    std::optional<TroupeLogLoad> first = takeFirst(false);
    std::vector<std::pair<std::uint64_t, TroupeLogLoad>> reread;
    std::optional<std::uint64_t> replacedAfterCuts;
    {
        std::lock_guard lock(shared_->mutex);
        reread = std::move(shared_->reread);
        shared_->reread.clear();
        replacedAfterCuts = std::exchange(shared_->replacedAfterCuts, std::nullopt);
    }
    if (first) handler_(std::move(*first));
    for (auto& [generation, load] : reread) finish(generation, std::move(load));
    if (replacedAfterCuts) fileReplaced(*replacedAfterCuts);
    return first || !reread.empty() || replacedAfterCuts;
}

bool TroupeLogLoader::settle() {
    bool any = false;
    for (;;) {
        any = takeNews() || any;
        if (!since_ || quitWaitIsOver()) return any;
        // A re-read's cut waits behind a line that cannot be written: nothing to wait for.
        std::unique_lock lock(shared_->mutex);
        while (!shared_->ready.wait_for(lock, std::chrono::milliseconds(50), [&] {
            return !shared_->reread.empty() || shared_->replacedAfterCuts;
        })) {
            if (writer_->retrying()) return any;
            if (quitWaitIsOver()) break;
        }
    }
}

bool TroupeLogLoader::quitWaitIsOver() {
    if (!stoppedAt_ || std::chrono::steady_clock::now() - *stoppedAt_ < quitWait) return false;
    if (!std::exchange(quitWaitSaid_, true))
        log::system(
            "Quitting before the troupe log was read again; what this run wrote to a file that "
            "was replaced meanwhile may be only in that file");
    return true;
}

std::optional<TroupeLogLoad> TroupeLogLoader::takeFirst(bool wait) {
    std::unique_lock lock(shared_->mutex);
    if (wait) shared_->ready.wait(lock, [&] { return shared_->firstDone; });
    std::optional<TroupeLogLoad> first = std::move(shared_->first);
    shared_->first.reset();
    return first;
}

void TroupeLogLoader::refold(Date from) {
    if (since_) return;  // the running one settles it; what it misses is refolded next
    log::info("A troupe event from before the last minute arrived; refolding the log");
    reread(tailFor(from), true);
}

// Another file took the log's place (an editor's or sync tool's save) and the writer
// appends to it now: the snapshot follows what that file holds. A cut asked for after
// the writer said so reads that file already.
void TroupeLogLoader::fileReplaced(std::uint64_t cutsTaken) {
    if (cutsAsked_ > cutsTaken) return;
    reread(tailFor(clock_.now()), false);
}

void TroupeLogLoader::accepted(const TroupeEvent& event, std::size_t lineBytes) {
    if (since_) since_->emplace_back(event, lineBytes);
}

void TroupeLogLoader::stop() {
    shared_->stopRequested = true;
    if (!stoppedAt_) stoppedAt_ = std::chrono::steady_clock::now();
}

void TroupeLogLoader::reread(Date tailFrom, bool whole) {
    const std::uint64_t generation = ++generation_;
    since_.emplace();
    ++cutsAsked_;
    const std::weak_ptr<Shared> weak = shared_;
    writer_->cut(
        [weak, generation, tailFrom, whole](TroupeLogCut taken) {
            auto shared = weak.lock();
            if (!shared) return;
            auto cut = std::make_shared<TroupeLogCut>(std::move(taken));
            shared->submit([weak, generation, tailFrom, whole, cut] {
                if (auto shared = weak.lock())
                    shared->post(generation, readUpTo(*cut, tailFrom, whole, shared->control()));
            });
        },
        // No cut, no read: the snapshot stays as it was, and a settle waits no more.
        [weak, generation](const std::string&) {
            if (auto shared = weak.lock()) shared->post(generation, nothingRead());
        });
}

void TroupeLogLoader::finish(std::uint64_t generation, TroupeLogLoad load) {
    // A later re-read counts instead; what this one found missing, that one may lack too.
    carried_.insert(carried_.end(), std::make_move_iterator(load.missing.begin()),
                    std::make_move_iterator(load.missing.end()));
    carriedWritten_ += load.written;
    load.missing.clear();
    if (generation != generation_) return;
    auto since = std::move(*since_);
    since_.reset();
    // The store appends those its new index lacks; without one, the writer those the end of
    // the file it writes to lacks.
    load.missing = std::move(carried_);
    load.written = std::exchange(carriedWritten_, 0);
    carried_.clear();
    if (!load.live) {
        // The next misplaced event or replacement asks again.
        if (!load.missing.empty()) handler_(std::move(load));
        return;
    }
    // What was accepted after the cut follows it in the file; an id the file read has
    // already keeps that line, as the next launch reads it.
    std::optional<Date> earliestMisplaced;
    const auto fold = [&](const TroupeEvent& event) {
        if (!load.live->apply(event, clock_.now()) && (!earliestMisplaced || event.ts < *earliestMisplaced))
            earliestMisplaced = event.ts;
    };
    for (const TroupeEvent& event : load.own) fold(event);
    load.own.clear();
    for (const auto& [event, lineBytes] : since) {
        const bool fresh = load.index->insert(event.id, load.nextOffset);
        load.nextOffset += lineBytes + 1;
        if (fresh) fold(event);
    }
    since.clear();
    handler_(std::move(load));
    if (earliestMisplaced) refold(*earliestMisplaced);
}

}  // namespace tw
