#include "troupe/store/troupe_store.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "platform/atomic_file.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_device_identity.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_live_fold.h"
#include "troupe/store/troupe_log_reader.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

const char* toString(TroupeStoreError error) {
    switch (error) {
        case TroupeStoreError::clockSkew:
            return "clockSkew";
        case TroupeStoreError::unsupportedSchemaVersion:
            return "unsupportedSchemaVersion";
        case TroupeStoreError::encodingFailed:
            return "encodingFailed";
        case TroupeStoreError::writeBacklogFull:
            return "writeBacklogFull";
        case TroupeStoreError::logUnavailable:
            return "logUnavailable";
    }
    return "unknown";
}

// What the writer thread hands back to the main thread. The store clears `store`
// when it goes, so results posted after that find nobody.
struct TroupeStore::LoadState {
    std::atomic<bool> stopRequested = false;  // quitting: loads and refolds end early
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    std::unique_ptr<TroupeLoadedLog> log;
    std::unique_ptr<TroupeLiveFold> live;
    std::unique_ptr<TroupeEventIndex> index;
    TroupeStore* store = nullptr;  // main thread only

    // Hands a finished load to the main thread.
    void deliver(std::unique_ptr<TroupeLoadedLog> loaded, std::unique_ptr<TroupeLiveFold> loadedLive,
                 std::unique_ptr<TroupeEventIndex> loadedIndex, std::weak_ptr<LoadState> self,
                 MainQueue& main) {
        {
            std::lock_guard lock(mutex);
            log = std::move(loaded);
            live = std::move(loadedLive);
            index = std::move(loadedIndex);
            done = true;
        }
        ready.notify_all();
        main.post([self] {
            if (auto s = self.lock(); s && s->store) s->store->waitUntilLoaded();
        });
    }

    // Hands a refold's snapshot to the main thread; none when it failed or stopped.
    static void deliverRefold(std::uint64_t generation, std::unique_ptr<TroupeLiveFold> refolded,
                              std::weak_ptr<LoadState> self, MainQueue& main) {
        auto shared = std::make_shared<std::unique_ptr<TroupeLiveFold>>(std::move(refolded));
        main.post([self, generation, shared] {
            if (auto s = self.lock(); s && s->store) s->store->refolded(generation, std::move(*shared));
        });
    }
};

namespace {

TroupeStore*& sharedSlot() {
    static TroupeStore* store = nullptr;
    return store;
}

// The line starting at `offset`, without its newline; empty when unreadable.
std::string readLineAt(const std::filesystem::path& file, std::uint64_t offset) {
    std::string line;
    const atomic_file::OpenedFile opened = atomic_file::openRegular(file);
    if (opened.status != atomic_file::ReadStatus::ok) return line;
    char buffer[4096];
    while (offset + line.size() < opened.size) {
        const ssize_t got =
            ::pread(opened.fd, buffer, sizeof buffer, static_cast<off_t>(offset + line.size()));
        if (got <= 0) break;
        const std::string_view chunk(buffer, static_cast<std::size_t>(got));
        const auto newline = chunk.find('\n');
        line.append(chunk.substr(0, newline));
        if (newline != std::string_view::npos || line.size() > (std::size_t{64} << 20)) break;
    }
    return line;
}

}  // namespace

TroupeStore::TroupeStore(std::filesystem::path directory, Defaults& standardDefaults, const Clock& clock,
                         MainQueue& mainQueue, NotificationCenter& notifications,
                         TroupeLogReadControl::ReadFunction readFunction)
    : directory_(std::move(directory)),
      logFile_(directory_ / logFileName),
      defaults_(standardDefaults),
      clock_(clock),
      mainQueue_(mainQueue),
      notifications_(notifications),
      mainThread_(std::this_thread::get_id()),
      readFunction_(std::move(readFunction)),
      pendingIds_(std::make_unique<TroupeEventIndex>()) {
    // The troupe is the user's own: nobody else on the machine reads it. The writer
    // makes the log 0600 when it creates it.
    if (paths::ensureDirectory(directory_)) ::chmod(directory_.c_str(), 0700);
    deviceId_ = TroupeDeviceIdentity::resolve(defaults_, directory_ / TroupeDeviceIdentity::copyFileName);
    // Known before the load ends, so that no append is taken for a log that cannot hold it.
    openTroupeLog(logFile_, unusableLog_);
    loadState_ = std::make_shared<LoadState>();
    loadState_->store = this;
    auto replaced = [weak = std::weak_ptr<LoadState>(loadState_), &main = mainQueue_] {
        main.post([weak] {
            if (auto s = weak.lock(); s && s->store) s->store->foldReplacedLog();
        });
    };
    writer_ =
        std::make_unique<TroupeLogWriter>(logFile_, TroupeLogWriter::WriteFunction{}, std::move(replaced));
    startLoad(0, Date{std::floor(clock_.now().seconds) - TroupeLiveFold::reorderWindowSeconds});
}

TroupeStore::~TroupeStore() {
    drain();
    loadState_->store = nullptr;
    writer_.reset();
}

std::filesystem::path TroupeStore::defaultDirectory() { return paths::dataDirectory() / "Troupe"; }

TroupeStore& TroupeStore::shared() {
    auto& store = sharedSlot();
    assert(store && "TroupeStore::installShared was not called");
    store->assertMainThread();
    return *store;
}

void TroupeStore::installShared(TroupeStore* store) { sharedSlot() = store; }

void TroupeStore::assertMainThread() const {
    assert(std::this_thread::get_id() == mainThread_ && "TroupeStore is main-thread only");
}

const TroupeSnapshot& TroupeStore::snapshot() const {
    assertMainThread();
    return live_ ? live_->snapshot() : emptySnapshot_;
}

// MARK: - Loading

void TroupeStore::startLoad(std::uint64_t generation, Date tailFrom) {
    std::weak_ptr<LoadState> weak = loadState_;
    // A load that throws is one that could not read the log: the troupe starts empty
    // and the log stays as it is. A refold that throws leaves the snapshot as it was.
    auto failed = [weak, generation, tailFrom, &main = mainQueue_](const std::string& error) {
        auto state = weak.lock();
        if (!state) return;
        if (generation > 0) {
            LoadState::deliverRefold(generation, nullptr, weak, main);
            return;
        }
        auto log = std::make_unique<TroupeLoadedLog>();
        log->readError = "the load failed (" + error + ")";
        state->deliver(std::move(log), std::make_unique<TroupeLiveFold>(std::vector<TroupeEvent>{}, tailFrom),
                       std::make_unique<TroupeEventIndex>(), weak, main);
    };
    auto load = [weak, generation, tailFrom, file = logFile_, read = readFunction_, &main = mainQueue_] {
        auto state = weak.lock();
        if (!state) return;
        const TroupeLogReadControl control{&state->stopRequested, read};
        // Each block is indexed and folded as it is decoded, through a short window
        // that puts lines a little out of the fold's order (as a log is written) in
        // place; only a log with a line far out of place is read again and held whole
        // to be sorted.
        auto index = std::make_unique<TroupeEventIndex>();
        auto live = std::make_unique<TroupeLiveFold>(tailFrom);
        bool inOrder = true;
        auto log = std::make_unique<TroupeLoadedLog>(readTroupeLogBlocks(
            file, index.get(),
            [&](std::vector<std::optional<TroupeEvent>>& events, const std::vector<std::uint64_t>&,
                const std::vector<bool>& seenBefore) {
                for (std::size_t i = 0; i < events.size() && inOrder; ++i) {
                    if (events[i]) inOrder = live->take(std::move(*events[i]), seenBefore[i]);
                }
            },
            control));
        // A refold that cannot read the log again keeps the snapshot it would replace.
        if (generation > 0 && !log->readError.empty())
            throw std::runtime_error("cannot read the log again: " + log->readError);
        if (generation > 0 && log->inode == 0) throw std::runtime_error("the log is gone");
        if (!log->stopped) {
            if (inOrder) {
                live->finishTaking();
            } else {
                // Only the file just read may stand in for it: what another file (the
                // log moved, replaced or deleted meanwhile) holds is not this troupe.
                TroupeLoadedLog again =
                    readTroupeLog(file, troupeLogMaxLineBytes, troupeLogReadBlockBytes, control);
                if (!again.readError.empty())
                    throw std::runtime_error("cannot read the log again: " + again.readError);
                if (!again.stopped && !again.isSameFile(*log))
                    throw std::runtime_error("the log was replaced while it was read");
                log->stopped = again.stopped;
                live = std::make_unique<TroupeLiveFold>(std::move(again.events), tailFrom);
            }
        }
        if (log->stopped) {  // nothing half-read is ever published
            live.reset();
            index.reset();
        }
        if (generation > 0) {  // a refold: only the snapshot is new
            LoadState::deliverRefold(generation, std::move(live), weak, main);
            return;
        }
        state->deliver(std::move(log), std::move(live), std::move(index), weak, main);
    };
    writer_->run(std::move(load), std::move(failed));
}

void TroupeStore::waitUntilLoaded() {
    assertMainThread();
    if (loaded_ || loadStopped_) return;
    std::unique_lock lock(loadState_->mutex);
    loadState_->ready.wait(lock, [&] { return loadState_->done; });
    auto log = std::move(loadState_->log);
    auto live = std::move(loadState_->live);
    auto index = std::move(loadState_->index);
    lock.unlock();
    publish(std::move(log), std::move(live), std::move(index));
}

void TroupeStore::whenLoaded(std::function<void()> callback) {
    assertMainThread();
    if (loaded_) {
        callback();
        return;
    }
    loadWaiters_.push_back(std::move(callback));
}

void TroupeStore::publish(std::unique_ptr<TroupeLoadedLog> log, std::unique_ptr<TroupeLiveFold> live,
                          std::unique_ptr<TroupeEventIndex> index) {
    // Appending after what could not be read buries nothing: the log is only ever
    // appended to, and a later launch reads it all again.
    if (!log->readError.empty()) {
        log::system("Cannot read the troupe log " + logFile_.string() + ": " + log->readError +
                    "; the troupe holds what could be read, and the file is left as it is");
    }
    skippedLines_ = log->skippedLines;
    if (skippedLines_ > 0) {
        log::system("Skipped " + std::to_string(skippedLines_) + " unreadable line" +
                    (skippedLines_ == 1 ? "" : "s") + " of " + logFile_.string() + "; they stay in the file");
    }
    live_ = std::move(live);
    index_ = std::move(index);
    nextOffset_ = log->endOffset + (log->endsWithNewline ? 0 : 1);
    loaded_ = true;

    auto pending = std::move(pending_);
    pending_.clear();
    pendingBytes_ = 0;
    pendingIds_.reset();
    for (auto& [event, line] : pending) {
        if (index_->contains(event.id)) continue;  // the log had it already
        accept(std::move(event), std::move(line));
    }
    notifications_.post(snapshotChangedNotification);
    auto waiters = std::move(loadWaiters_);
    loadWaiters_.clear();
    for (auto& waiter : waiters) waiter();
}

void TroupeStore::requestRefold(Date from) {
    if (sinceRefold_) return;  // the running one settles it; what it misses is refolded next
    ++refoldGeneration_;
    sinceRefold_.emplace();
    log::info("A troupe event from before the last minute arrived; refolding the log");
    startLoad(refoldGeneration_, Date{std::floor(from.seconds) - TroupeLiveFold::reorderWindowSeconds});
}

void TroupeStore::refolded(std::uint64_t generation, std::unique_ptr<TroupeLiveFold> live) {
    if (generation != refoldGeneration_) return;
    if (!live) {  // the refold failed; the next misplaced event asks again
        sinceRefold_.reset();
        return;
    }
    live_ = std::move(live);
    auto since = std::move(*sinceRefold_);
    sinceRefold_.reset();
    std::optional<Date> earliestMisplaced;
    for (const TroupeEvent& event : since) {
        if (!live_->apply(event, clock_.now()) && (!earliestMisplaced || event.ts < *earliestMisplaced))
            earliestMisplaced = event.ts;
    }
    if (earliestMisplaced) requestRefold(*earliestMisplaced);
    notifications_.post(snapshotChangedNotification);
}

// Another file took the log's place (an editor's or sync tool's save) and the writer
// appends to it now: the snapshot follows what that file holds. Whatever refold runs
// read the file before, and what went to the old file since is no longer the log.
void TroupeStore::foldReplacedLog() {
    if (!loaded_) return;  // the load in progress reads the file at the path
    ++refoldGeneration_;
    sinceRefold_.emplace();
    startLoad(refoldGeneration_,
              Date{std::floor(clock_.now().seconds) - TroupeLiveFold::reorderWindowSeconds});
}

// MARK: - Appending

TroupeAppendResult TroupeStore::append(const TroupeEvent& event) {
    assertMainThread();
    if (!TroupeClock::isWithinSkewWindow(event.ts, clock_.now())) return TroupeStoreError::clockSkew;
    if (event.schemaVersion > troupeSchemaVersion) return TroupeStoreError::unsupportedSchemaVersion;
    if (!unusableLog_.empty() && !logUsableAgain()) return refuseForUnusableLog();
    if (loadStopped_) {
        // Quitting: nothing to check against, and the fold is not kept.
    } else if (loaded_) {
        if (index_->contains(event.id)) return storedEvent(event);
    } else if (auto position = pendingIds_->find(event.id)) {
        return pending_[*position].first;
    }
    // Encoded, then read back: the snapshot folds exactly what the next launch reads.
    std::string line;
    std::optional<TroupeEvent> decoded;
    try {
        line = encodeTroupeEventLine(event);
        decoded = decodeTroupeLogLine(line);
    } catch (const std::exception& error) {
        log::system("Refused a troupe event that cannot be written (" + std::string(rawValue(event.kind)) +
                    "): " + error.what());
        return TroupeStoreError::encodingFailed;
    }
    if (!hasRoomFor(line)) return TroupeStoreError::writeBacklogFull;
    TroupeEvent stored = std::move(*decoded);
    if (loadStopped_) {
        line.push_back('\n');
        writer_->write(std::move(line));
        return stored;
    }
    if (!loaded_) {
        pendingBytes_ += line.size() + 1;
        pendingIds_->insert(stored.id, pending_.size());
        pending_.emplace_back(stored, std::move(line));
        return stored;
    }
    accept(stored, std::move(line));
    return stored;
}

bool TroupeStore::hasRoomFor(const std::string& line) {
    const std::uint64_t waiting = pendingBytes_ + writer_->queuedBytes();
    if (waiting + line.size() + 1 <= maxUnwrittenBytes) {
        refusingForRoom_ = false;
        return true;
    }
    if (!refusingForRoom_) {
        log::system("Refusing troupe events: " + std::to_string(waiting) + " bytes of accepted events wait " +
                    "to be written to " + logFile_.string() + ", and no more are held in memory");
    }
    refusingForRoom_ = true;
    return false;
}

bool TroupeStore::logUsableAgain() {
    // What stood at the path may have been put right since.
    openTroupeLog(logFile_, unusableLog_);
    if (!unusableLog_.empty()) return false;
    if (refusedForUnusableLog_) log::info("The troupe log " + logFile_.string() + " can be written again");
    refusedForUnusableLog_ = false;
    return true;
}

TroupeStoreError TroupeStore::refuseForUnusableLog() {
    if (!refusedForUnusableLog_) {
        log::system("Refusing troupe events: the troupe log " + logFile_.string() + " cannot be used (" +
                    unusableLog_ + "); nothing is written to it");
    }
    refusedForUnusableLog_ = true;
    return TroupeStoreError::logUnavailable;
}

TroupeAppendResult TroupeStore::appendKind(TroupeEventKind kind, TroupePayload payload, Date ts) {
    return append(TroupeEvent{Uuid::random(), kind, std::move(payload), ts, deviceId_, troupeSchemaVersion});
}

void TroupeStore::accept(TroupeEvent event, std::string line) {
    index_->insert(event.id, nextOffset_);
    nextOffset_ += line.size() + 1;
    if (sinceRefold_) sinceRefold_->push_back(event);
    const bool inPlace = live_->apply(event, clock_.now());
    line.push_back('\n');
    writer_->write(std::move(line));
    if (!inPlace) requestRefold(event.ts);  // after the line, so the refold reads it

    std::erase_if(sinks_, [](const WeakSink& sink) { return sink.expired(); });
    for (const WeakSink& weak : std::vector<WeakSink>(sinks_)) {
        if (auto sink = weak.lock()) sink->troupeEventAppended(event);
    }
    notifications_.post(eventAppendedNotification, {{eventUserInfoKey, std::any(event)}});
    notifications_.post(snapshotChangedNotification);
}

TroupeEvent TroupeStore::storedEvent(const TroupeEvent& repeated) {
    // Rare (nothing here repeats its own ids): read the stored line back.
    if (auto offset = index_->find(repeated.id)) {
        writer_->drain();
        try {
            TroupeEvent stored = decodeTroupeLogLine(readLineAt(logFile_, *offset));
            if (stored.id == repeated.id) return stored;
        } catch (const std::exception&) {
        }
    }
    log::system("Cannot read back troupe event " + repeated.id.uuidString() + "; it is in the log already");
    return repeated;
}

void TroupeStore::addSink(WeakSink sink) {
    assertMainThread();
    sinks_.push_back(std::move(sink));
}

// MARK: - Sessions and milestones

void TroupeStore::markSessionStart(std::optional<std::string> deviceName, Date at) {
    assertMainThread();
    expectedSessionStart_.reset();
    sessionStart_ = at;
    appendKind(TroupeEventKind::deviceSessionStart,
               TroupeDeviceSessionStart{defaultDeviceKind, std::move(deviceName)}, at);
}

void TroupeStore::expectSessionStart(std::optional<std::string> deviceName, Date at) {
    assertMainThread();
    expectedSessionStart_ = ExpectedSessionStart{std::move(deviceName), at};
}

void TroupeStore::markSessionEnd(Date at) {
    assertMainThread();
    if (!sessionStart_ && expectedSessionStart_) {
        auto [deviceName, startedAt] = std::move(*expectedSessionStart_);
        markSessionStart(std::move(deviceName), startedAt);
    }
    if (!sessionStart_) return;
    double duration = at.since(*sessionStart_);
    if (!(duration >= 0)) duration = 0;
    appendKind(TroupeEventKind::deviceSessionEnd, TroupeDeviceSessionEnd{duration}, at);
    sessionStart_.reset();
}

void TroupeStore::acknowledgeMilestones(const std::vector<std::string>& milestoneIds) {
    assertMainThread();
    for (const auto& id : milestoneIds) {
        appendKind(TroupeEventKind::milestoneAcknowledged, TroupeMilestoneAcknowledged{id, deviceId_},
                   clock_.now());
    }
}

void TroupeStore::stopLoading() {
    assertMainThread();
    loadState_->stopRequested = true;  // a refold in progress ends too
    if (loaded_ || loadStopped_) return;
    std::unique_lock lock(loadState_->mutex);
    loadState_->ready.wait(lock, [&] { return loadState_->done; });
    const bool stopped = loadState_->log->stopped;
    lock.unlock();
    if (!stopped) {  // it ended first
        waitUntilLoaded();
        return;
    }
    log::info("Stopped reading the troupe log to quit; the events taken meanwhile are written after it");
    loadStopped_ = true;
    loadWaiters_.clear();
    for (auto& [event, line] : pending_) {
        line.push_back('\n');
        writer_->write(std::move(line));
    }
    pending_.clear();
    pendingBytes_ = 0;
}

bool TroupeStore::drain() {
    assertMainThread();
    waitUntilLoaded();
    return writer_->drain();
}

}  // namespace tw
