#pragma once
// The troupe's local event log and the snapshot folded from it.
//
// The log is "events.jsonl" in the Troupe folder of the data directory: one JSON event
// a line, only ever appended to (lines it cannot read are kept and skipped). A writer
// thread writes each accepted line with one write(2), syncs within a second, and
// drain() waits for the disk. The loader reads and folds the log on a thread of its
// own; until the launch's load is done snapshot() is empty and appends wait in memory,
// to be checked against the loaded ids, folded after the loaded events and written in
// order. Every event this run accepted stays in the file at the log's path whatever
// happens to that file (replaced, deleted, cut short, written over, appended to, on a
// mount that died): once it changes, it is read again (lines another program appended,
// alone), the snapshot follows what it holds, and this run's events it lacks are
// appended again from the run's ledger.
//
// Waiting for the load: launch work that needs the folded troupe (the arrival
// decision, the companion summary) runs from whenLoaded(), which calls back on the
// main thread once the snapshot is published (at once when it already is).
// waitUntilLoaded() blocks the calling (main) thread until then: for tests and for
// quitting, never for a frame.
//
// Everything here is main-thread only, shared() included.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/defaults.h"
#include "platform/main_queue.h"
#include "platform/notification_center.h"
#include "troupe/event_model/troupe_event.h"
#include "troupe/event_model/troupe_snapshot.h"
#include "troupe/store/troupe_log_reader.h"
#include "troupe/store/troupe_store_error.h"

namespace tw {

class TroupeEventIndex;
class TroupeLiveFold;
class TroupeLogKeep;
class TroupeLogLoader;
class TroupeLogWriter;
struct TroupeLogLoad;
struct TroupeLogQuitReconcile;

// An in-process listener of the log, called with every appended event.
class TroupeEventSink {
   public:
    virtual ~TroupeEventSink() = default;
    virtual void troupeEventAppended(const TroupeEvent& event) = 0;
};

class TroupeStore {
   public:
    static constexpr TroupeDeviceKind defaultDeviceKind = TroupeDeviceKind::linuxDesktop;
    static constexpr const char* eventAppendedNotification = "Tumblewick.Troupe.EventAppended";
    static constexpr const char* snapshotChangedNotification = "Tumblewick.Troupe.SnapshotChanged";
    static constexpr const char* eventUserInfoKey = "event";  // holds a TroupeEvent
    static constexpr const char* logFileName = "events.jsonl";
    // The room in memory for accepted lines not yet on disk; while the log cannot be
    // written, an event that does not fit is refused rather than held.
    static constexpr std::uint64_t maxUnwrittenBytes = std::uint64_t{4} << 20;
    // Sinks are held weakly: one that is gone is dropped.
    using WeakSink = std::weak_ptr<TroupeEventSink>;

    // Opens `directory` (made 0700; the log 0600 when the store makes it), resolves the
    // device id from `standardDefaults` and starts loading. Every reference must outlive
    // the store.
    // `readFunction` is pread(2) as the loads and the comparisons of the log's bytes call it
    // (the latter on the minutes of `clock`'s monotonic time), `writeFunction` write(2) as the
    // writer calls it; tests pass ones that fail. With a `keepFolder` (on this machine's own
    // disk), every accepted line is kept there until the log is seen to hold it (see
    // TroupeLogKeep); what runs of the log that are gone kept and the log lacks is written
    // once the load is published, and looked for again every keepLookSeconds.
    TroupeStore(std::filesystem::path directory, Defaults& standardDefaults, const Clock& clock,
                MainQueue& mainQueue, NotificationCenter& notifications,
                TroupeLogReadControl::ReadFunction readFunction = {},
                std::function<ssize_t(int fd, const void* bytes, std::size_t size)> writeFunction = {},
                std::filesystem::path keepFolder = {});
    ~TroupeStore();  // drains
    TroupeStore(const TroupeStore&) = delete;
    TroupeStore& operator=(const TroupeStore&) = delete;

    // $XDG_DATA_HOME/Tumblewick/Troupe
    static std::filesystem::path defaultDirectory();
    // $XDG_STATE_HOME/tumblewick/troupe
    static std::filesystem::path defaultKeepDirectory();
    static constexpr double keepLookSeconds = 60;
    // The process-wide store: the app owns it and installs it while it lives.
    static TroupeStore& shared();
    static void installShared(TroupeStore* store);  // nullptr uninstalls

    const Uuid& deviceId() const { return deviceId_; }
    // Never copied per event: hold the reference, or copy it when a before/after matters.
    const TroupeSnapshot& snapshot() const;
    // The fold behind snapshot(), for checks of what it holds out of place; null until the load.
    const TroupeLiveFold* liveFold() const { return live_.get(); }

    bool isLoaded() const { return loaded_; }
    void whenLoaded(std::function<void()> callback);
    void waitUntilLoaded();
    // Lines of the log that did not decode at load (they stay in the file).
    std::int64_t skippedLineCount() const { return skippedLines_; }

    // Refuses an event outside the clock window or of a newer schema version, one that
    // cannot be encoded, one that finds no room while the log cannot be written (see
    // maxUnwrittenBytes), and every event while the log is unusable (not a regular file,
    // at launch or after the file written was deleted; looked at again on each append); an id already in the
    // log returns the stored event and writes nothing. Otherwise folds it exactly as it will be read back
    // (the stored form is returned), writes the line, calls the sinks and posts EventAppended then
    // SnapshotChanged.
    TroupeAppendResult append(const TroupeEvent& event);
    // A new event with a random id, this device and the current schema version.
    TroupeAppendResult appendKind(TroupeEventKind kind, TroupePayload payload, Date ts);

    // Remembers `at` as the session start and appends a session start of this device.
    void markSessionStart(std::optional<std::string> deviceName, Date at);
    // For a launch that starts the session once the log has loaded: a session that ends
    // before then (a quit during the load) starts at `at` all the same. markSessionStart
    // takes its place.
    void expectSessionStart(std::optional<std::string> deviceName, Date at);
    // With a remembered start (or an expected one, appended first): appends a session end
    // lasting from it to `at` (0 when negative or not a number) and forgets the start.
    // Otherwise does nothing.
    void markSessionEnd(Date at);
    // One milestone-acknowledged event per id, in order, acknowledged by this device.
    void acknowledgeMilestones(const std::vector<std::string>& milestoneIds);

    void addSink(WeakSink sink);

    // Quitting: ends a load (or a read of the log) in progress within a block of the log,
    // and gives up one that does not return within TroupeLogLoader::quitWait. A stopped
    // load publishes nothing and whenLoaded callbacks never run; the events taken during
    // it, and every one appended after, are written without being checked or folded.
    void stopLoading();

    // Blocks until every accepted event is on disk (waiting for the load first, and for
    // any read of the log since it changed, which may append some again). After
    // stopLoading(), no read under way is waited for: once, the file at the path is
    // compared with this run's lines (see TroupeLogQuitReconcile) by
    // TroupeLogLoader::quitWait, and what it lacks appended, said in one log line; a later
    // drain only writes; none waits past quitWriteWait after that, whatever the file system
    // does (the store's end neither). False when the log could not be written. Quitting calls it.
    bool drain();
    // How long the quit's lines get to be written after the quit's look.
    static constexpr std::chrono::milliseconds quitWriteWait{500};

    const std::filesystem::path& logFile() const { return logFile_; }
    Defaults& standardDefaults() const { return defaults_; }
    const Clock& clock() const { return clock_; }

   private:
    void assertMainThread() const;
    std::chrono::steady_clock::time_point quitEnd() const;
    void loaded(TroupeLogLoad load);
    void publish(TroupeLogLoad load);
    void reloaded(TroupeLogLoad load);
    void foldAppended(TroupeLogLoad load);
    bool hasRoomFor(const std::string& line);
    bool reopenUnusableLog();
    TroupeStoreError refuseForUnusableLog();
    TroupeEvent storedEvent(const TroupeEvent& repeated);
    void accept(TroupeEvent event, std::string line, bool announce = true);
    void startKeeping(std::filesystem::path folder);
    void adoptKept();
    void endQuit(const TroupeLogQuitReconcile& quit, bool written);

    const std::filesystem::path directory_;
    const std::filesystem::path logFile_;
    Defaults& defaults_;
    const Clock& clock_;
    MainQueue& mainQueue_;
    NotificationCenter& notifications_;
    const TroupeLogReadControl::ReadFunction readFunction_;
    Uuid deviceId_;
    std::thread::id mainThread_;

    std::unique_ptr<TroupeLogWriter> writer_;
    std::unique_ptr<TroupeLogLoader> loader_;
    std::unique_ptr<TroupeLogKeep> keep_;
    TaskId keepLook_ = 0;
    bool loaded_ = false;
    bool loadStopped_ = false;
    bool stopped_ = false;         // quitting
    bool quitReconciled_ = false;  // a quit's drain looked at the file once: later ones only write
    std::vector<std::function<void()>> loadWaiters_;
    std::vector<std::pair<TroupeEvent, std::string>> pending_;  // accepted during the load
    std::unique_ptr<TroupeEventIndex> pendingIds_;              // id -> position in pending_
    std::uint64_t pendingBytes_ = 0;                            // the lines of pending_
    bool refusingForRoom_ = false;                              // said once while events find no room
    std::string unusableLog_;             // why nothing may be written to the log; empty when it may
    bool refusedForUnusableLog_ = false;  // said once

    TroupeSnapshot emptySnapshot_;
    std::unique_ptr<TroupeLiveFold> live_;
    std::unique_ptr<TroupeEventIndex> index_;
    std::uint64_t nextOffset_ = 0;  // where the next line will start in the file
    std::int64_t skippedLines_ = 0;

    std::optional<Date> sessionStart_;
    struct ExpectedSessionStart {
        std::optional<std::string> deviceName;
        Date at;
    };
    std::optional<ExpectedSessionStart> expectedSessionStart_;
    std::vector<WeakSink> sinks_;
};

}  // namespace tw
