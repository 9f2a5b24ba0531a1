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
#include "troupe/store/troupe_log_writer.h"

namespace tw {

// What the loader's thread and the writer's share with it. The loader clears `owner`
// when it goes, so results posted after that find nobody.
struct TroupeLogLoader::Shared {
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

// The ids in the last lines of `opened`, far enough back to hold a copy of `ownBytes` of
// this run's lines and what was written after it: the least a quit must look at before
// writing those lines again. Starts at a line's start.
TroupeEventIndex idsNearTheEnd(const atomic_file::OpenedFile& opened, std::uint64_t ownBytes,
                               const TroupeLogReadControl::ReadFunction& read) {
    TroupeEventIndex ids;
    if (opened.status != atomic_file::ReadStatus::ok) return ids;
    const std::uint64_t reach = 2 * ownBytes + (std::uint64_t{1} << 20);
    std::uint64_t from = opened.size > reach ? opened.size - reach : 0;
    if (from > 0) {
        // On to the start of the next line.
        std::string block(64 * 1024, '\0');
        bool found = false;
        while (!found && from < opened.size) {
            const ssize_t got = ::pread(opened.fd, block.data(), block.size(), static_cast<off_t>(from - 1));
            if (got <= 0) return ids;
            const std::size_t newline = block.find('\n', 0);
            if (newline < static_cast<std::size_t>(got)) {
                from += newline;
                found = true;
            } else {
                from += static_cast<std::uint64_t>(got);
            }
        }
        if (!found) return ids;
    }
    readTroupeLogBlocks(opened, from, nullptr,
                        [&](std::vector<std::optional<TroupeEvent>>& events,
                            const std::vector<std::uint64_t>&, const std::vector<bool>&) {
                            for (auto& event : events) {
                                if (event) ids.insert(event->id, 0);
                            }
                        },
                        {nullptr, read});
    return ids;
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

// The events this run wrote to the replaced files (sized up) that `index` lacks. Never
// stopped: a run's own lines are few, and a quit must not leave them in a file nobody
// can reach.
std::vector<TroupeEvent> missingFrom(const std::vector<TroupeLogCut::Replaced>& replaced,
                                     const TroupeEventIndex& index,
                                     const TroupeLogReadControl::ReadFunction& read) {
    std::vector<TroupeEvent> missing;
    TroupeEventIndex taken;
    for (const TroupeLogCut::Replaced& old : replaced) {
        readTroupeLogBlocks(old.file, old.from, nullptr,
                            [&](std::vector<std::optional<TroupeEvent>>& events,
                                const std::vector<std::uint64_t>&, const std::vector<bool>&) {
                                for (auto& event : events) {
                                    if (event && !index.contains(event->id) && taken.insert(event->id, 0))
                                        missing.push_back(std::move(*event));
                                }
                            },
                            {nullptr, read});
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
        try {
            std::string unusable;
            const atomic_file::OpenedFile opened = openTroupeLog(shared->file, unusable);
            load = readAndFold(opened, std::move(unusable), tailFrom, shared->control());
        } catch (const std::exception& error) {
            // One that could not read the log: the troupe starts empty and the log stays as it is.
            load = TroupeLogLoad{};
            load.log = std::make_unique<TroupeLoadedLog>();
            load.log->readError = std::string("the load failed (") + error.what() + ")";
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
        if (!since_) return any;
        // A re-read's cut waits behind a line that cannot be written: nothing to wait for.
        std::unique_lock lock(shared_->mutex);
        while (!shared_->ready.wait_for(lock, std::chrono::milliseconds(50), [&] {
            return !shared_->reread.empty() || shared_->replacedAfterCuts;
        })) {
            if (writer_->retrying()) return any;
        }
    }
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

void TroupeLogLoader::stop() { shared_->stopRequested = true; }

void TroupeLogLoader::reread(Date tailFrom, bool whole) {
    const std::uint64_t generation = ++generation_;
    since_.emplace();
    ++cutsAsked_;
    writer_->cut([weak = std::weak_ptr<Shared>(shared_), generation, tailFrom, whole](TroupeLogCut taken) {
        auto shared = weak.lock();
        if (!shared) return;
        auto cut = std::make_shared<TroupeLogCut>(std::move(taken));
        shared->submit([weak, generation, tailFrom, whole, cut] {
            auto shared = weak.lock();
            if (!shared) return;
            auto load = std::make_unique<TroupeLogLoad>();
            try {
                // What cannot be read again leaves the snapshot as it was.
                if (cut->file.status != atomic_file::ReadStatus::ok)
                    throw std::runtime_error("the log is gone");
                // A refold folds this run's lines in their place; a re-read of a file that
                // took the log's place folds what it held as a first load would.
                const std::uint64_t end = cut->file.size;
                if (whole) cut->ownFrom = end;
                cut->file.size = cut->ownFrom;
                *load = readAndFold(cut->file, {}, tailFrom, shared->control());
                cut->file.size = end;
                if (!load->log->readError.empty()) throw std::runtime_error(load->log->readError);
                if (load->live && end > cut->ownFrom)
                    readOwn(cut->file, cut->ownFrom, *load, shared->control());
            } catch (const std::exception& error) {
                log::system(std::string("Cannot read the troupe log again: ") + error.what() +
                            "; the troupe stays as it was");
                *load = TroupeLogLoad{};
            }
            // Without a fold (a quit stopped the read, or it failed) only the end of the file
            // is compared, where a copy holds what this run wrote: the lines of this run it
            // lacks there go again (one further back is then there twice, which a load reads
            // once).
            const std::uint64_t written = sizeUpReplaced(cut->replaced);
            if (load->live) {
                load->missing = missingFrom(cut->replaced, *load->index, shared->read);
            } else {
                const TroupeEventIndex nearTheEnd = idsNearTheEnd(cut->file, written, shared->read);
                load->missing = missingFrom(cut->replaced, nearTheEnd, shared->read);
            }
            load->first = false;
            cut->replaced.clear();  // closes what the writer handed over
            {
                std::lock_guard lock(shared->mutex);
                shared->reread.emplace_back(generation, std::move(*load));
            }
            shared->announce(shared);
        });
    });
}

void TroupeLogLoader::finish(std::uint64_t generation, TroupeLogLoad load) {
    // A later re-read counts instead; what this one found missing, that one may lack too.
    carried_.insert(carried_.end(), std::make_move_iterator(load.missing.begin()),
                    std::make_move_iterator(load.missing.end()));
    load.missing.clear();
    if (generation != generation_) return;
    auto since = std::move(*since_);
    since_.reset();
    load.missing = std::move(carried_);  // the store appends those its new index lacks, or all without one
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
