#include "troupe/store/troupe_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cassert>
#include <cmath>

#include "platform/log.h"
#include "platform/paths.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_device_identity.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_live_fold.h"
#include "troupe/store/troupe_log_keep.h"
#include "troupe/store/troupe_log_loader.h"
#include "troupe/store/troupe_log_quit_reconcile.h"
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

namespace {

TroupeStore*& sharedSlot() {
    static TroupeStore* store = nullptr;
    return store;
}

}  // namespace

TroupeStore::TroupeStore(std::filesystem::path directory, Defaults& standardDefaults, const Clock& clock,
                         MainQueue& mainQueue, NotificationCenter& notifications,
                         TroupeLogReadControl::ReadFunction readFunction,
                         std::function<ssize_t(int fd, const void* bytes, std::size_t size)> writeFunction,
                         std::filesystem::path keepFolder)
    : directory_(std::move(directory)),
      logFile_(directory_ / logFileName),
      defaults_(standardDefaults),
      clock_(clock),
      mainQueue_(mainQueue),
      notifications_(notifications),
      readFunction_(readFunction),
      mainThread_(std::this_thread::get_id()),
      pendingIds_(std::make_unique<TroupeEventIndex>()) {
    // The troupe is the user's own: nobody else on the machine reads it. The writer
    // makes the log 0600 when it creates it.
    if (paths::ensureDirectory(directory_)) ::chmod(directory_.c_str(), 0700);
    deviceId_ = TroupeDeviceIdentity::resolve(defaults_, directory_ / TroupeDeviceIdentity::copyFileName);
    // Known before the load ends, so that no append is taken for a log that cannot hold it.
    openTroupeLog(logFile_, unusableLog_);
    startKeeping(std::move(keepFolder));
    loader_ = std::make_unique<TroupeLogLoader>(logFile_, clock_, mainQueue_, std::move(readFunction),
                                                [this](TroupeLogLoad load) { loaded(std::move(load)); });
    writer_ = std::make_unique<TroupeLogWriter>(logFile_, std::move(writeFunction), loader_->changeHandler(),
                                                loader_->appendedHandler(), readFunction_,
                                                [&clock] { return clock.monotonic(); });
    loader_->attach(*writer_);
    loader_->start(Date{std::floor(clock_.now().seconds) - TroupeLiveFold::reorderWindowSeconds});
}

TroupeStore::~TroupeStore() {
    if (keep_) mainQueue_.cancel(keepLook_);
    drain();
    // A quit ends in time whatever the file system does: a writer stuck in it is left.
    const auto end = stopped_ ? quitEnd() : TroupeLogWriter::never;
    writer_->linesKeptElsewhere(keep_ && keep_->whole());
    loader_.reset();
    TroupeLogWriter::stop(writer_, end);
}

std::chrono::steady_clock::time_point TroupeStore::quitEnd() const {
    return loader_->quitDeadline() + quitWriteWait;
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

void TroupeStore::waitUntilLoaded() {
    assertMainThread();
    if (loaded_ || loadStopped_) return;
    if (auto first = loader_->takeFirst(true)) publish(std::move(*first));
}

void TroupeStore::loaded(TroupeLogLoad load) {
    if (load.appendedOnly)
        foldAppended(std::move(load));
    else if (!load.first)
        reloaded(std::move(load));
    else if (!loaded_ && !loadStopped_ && !load.log->stopped)
        publish(std::move(load));
}

void TroupeStore::whenLoaded(std::function<void()> callback) {
    assertMainThread();
    if (loaded_) {
        callback();
        return;
    }
    loadWaiters_.push_back(std::move(callback));
}

void TroupeStore::publish(TroupeLogLoad load) {
    const TroupeLoadedLog& log = *load.log;
    // Appending after what could not be read buries nothing: the log is only ever
    // appended to, and a later launch reads it all again.
    if (!log.readError.empty()) {
        log::system("Cannot read the troupe log " + logFile_.string() + ": " + log.readError +
                    "; the troupe holds what could be read, and the file is left as it is");
    }
    skippedLines_ = log.skippedLines;
    if (skippedLines_ > 0) {
        log::system("Skipped " + std::to_string(skippedLines_) + " unreadable line" +
                    (skippedLines_ == 1 ? "" : "s") + " of " + logFile_.string() + "; they stay in the file");
    }
    writer_->expectFile({log.file, log.endOffset, log.changedAt, log.modifiedAt, log.tail}, log.hashes);
    live_ = std::move(load.live);
    index_ = std::move(load.index);
    nextOffset_ = load.nextOffset;
    loaded_ = true;

    auto pending = std::move(pending_);
    pending_.clear();
    pendingBytes_ = 0;
    pendingIds_.reset();
    for (auto& [event, line] : pending) {
        if (index_->contains(event.id)) continue;  // the log had it already
        accept(std::move(event), std::move(line));
    }
    adoptKept();
    notifications_.post(snapshotChangedNotification);
    auto waiters = std::move(loadWaiters_);
    loadWaiters_.clear();
    for (auto& waiter : waiters) waiter();
}

// The log folded again, or the file at the path read again after it changed: the snapshot
// and the index follow it, this run's events it lacked put back on top.
void TroupeStore::reloaded(TroupeLogLoad load) {
    live_ = std::move(load.live);
    index_ = std::move(load.index);
    nextOffset_ = load.nextOffset;
    skippedLines_ = load.log->skippedLines;
    notifications_.post(snapshotChangedNotification);
}

// Lines another program appended to the file held: their events on top, in their place,
// taken as the load takes them (a repeated id, a newer schema version); the index holds
// every id read, as the load's does.
void TroupeStore::foldAppended(TroupeLogLoad load) {
    if (!live_ || !index_) return;
    std::optional<Date> earliestMisplaced;
    for (const auto& [event, offset] : load.appended) {
        const bool seenBefore = !index_->insert(event.id, offset);
        if (!live_->applyLine(event, seenBefore, clock_.now()) &&
            (!earliestMisplaced || event.ts < *earliestMisplaced))
            earliestMisplaced = event.ts;
    }
    nextOffset_ += load.appendedBytes;
    if (earliestMisplaced) loader_->refold(*earliestMisplaced);
    if (!load.appended.empty()) notifications_.post(snapshotChangedNotification);
}

// MARK: - Appending

TroupeAppendResult TroupeStore::append(const TroupeEvent& event) {
    assertMainThread();
    if (!TroupeClock::isWithinSkewWindow(event.ts, clock_.now())) return TroupeStoreError::clockSkew;
    if (event.schemaVersion > troupeSchemaVersion) return TroupeStoreError::unsupportedSchemaVersion;
    if ((!unusableLog_.empty() || writer_->holdsLines()) && !reopenUnusableLog())
        return refuseForUnusableLog();
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
    if (keep_) keep_->keep(line);
    TroupeEvent stored = std::move(*decoded);
    if (loadStopped_) {
        line.push_back('\n');
        writer_->write(std::move(line), stored.id);
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

// Looks at the path again, as what stood there may have been put right since; true when
// it may be written.
bool TroupeStore::reopenUnusableLog() {
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

void TroupeStore::accept(TroupeEvent event, std::string line, bool announce) {
    index_->insert(event.id, nextOffset_);
    nextOffset_ += line.size() + 1;
    loader_->accepted(event, line.size());
    const bool inPlace = live_->apply(event, clock_.now());
    line.push_back('\n');
    writer_->write(std::move(line), event.id);
    if (!inPlace) loader_->refold(event.ts);  // after the line, so the refold reads it
    if (!announce) return;

    std::erase_if(sinks_, [](const WeakSink& sink) { return sink.expired(); });
    for (const WeakSink& weak : std::vector<WeakSink>(sinks_)) {
        if (auto sink = weak.lock()) sink->troupeEventAppended(event);
    }
    notifications_.post(eventAppendedNotification, {{eventUserInfoKey, std::any(event)}});
    notifications_.post(snapshotChangedNotification);
}

TroupeEvent TroupeStore::storedEvent(const TroupeEvent& repeated) {
    // Rare (nothing here repeats its own ids): read the stored line back, from this run's
    // ledger or else the file.
    try {
        std::optional<std::string> line = writer_->ledger().lineOf(repeated.id);
        if (line) line->pop_back();
        if (auto offset = index_->find(repeated.id); !line && offset) line = writer_->lineAt(*offset);
        if (TroupeEvent stored = decodeTroupeLogLine(line.value_or("")); stored.id == repeated.id)
            return stored;
    } catch (const std::exception&) {
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
    stopped_ = true;
    loader_->stop();  // a refold in progress ends too
    if (loaded_ || loadStopped_) return;
    auto first = loader_->takeFirst(true);
    if (first && !first->log->stopped) {  // it ended first
        publish(std::move(*first));
        return;
    }
    log::info("Stopped reading the troupe log to quit; the events taken meanwhile are written after it");
    loadStopped_ = true;
    loadWaiters_.clear();
    for (auto& [event, line] : pending_) {
        line.push_back('\n');
        writer_->write(std::move(line), event.id);
    }
    pending_.clear();
    pendingBytes_ = 0;
}

bool TroupeStore::drain() {
    assertMainThread();
    waitUntilLoaded();
    if (!loadStopped_ && !stopped_) {
        // A reconcile may append again what the file lacks, and a sync may find a change.
        bool written = writer_->drain();
        while (loader_->settle()) written = writer_->drain();
        return written;
    }
    // Quitting: no read under way is waited for, and nothing waits past quitEnd().
    if (quitReconciled_) return writer_->drain(quitEnd());
    quitReconciled_ = true;
    // What the app did between the stop and this drain (a chapter written) spends none of
    // the quit's time.
    loader_->resumeQuitClock();
    const auto quit = TroupeLogQuitReconcile::run(*writer_, readFunction_, loader_->quitDeadline(),
                                                  keep_ && keep_->whole());
    const bool written = writer_->drain(quitEnd());
    endQuit(quit, written);
    return written;
}

}  // namespace tw
