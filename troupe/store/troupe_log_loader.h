#pragma once
// Keeps the troupe snapshot in step with the file at the log's path: the launch's load, a
// refold (once a minute at most) when events land before the settled fold out of place,
// lines another program appended to the file held (read alone), and a reconcile whenever
// the writer saw the file change otherwise. A reconcile waits until the file has been
// quiet for a moment, reads it whole up to a cut the writer takes in order with its lines
// (as a first load would), has the writer put back the lines of this run's ledger it
// lacks, and folds those and the events accepted after the cut on top; a change seen
// meanwhile is reconciled again once it ends, and a read that fails is tried again with a
// back-off. Reads run on the loader's own thread. The store gets one result a read: the
// fold, the id index, where the next line starts and the file that was read; or the events
// appended, with their offsets.
//
// At a quit the loader's reads stop at their next block; one that has not ended by
// quitWait when the loader goes (a read stuck in a file system) is left to end on its own
// thread, which then touches nothing but its own state (no main queue, no writer, no log
// line).
//
// The public calls are main-thread only, and so is the handler.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/main_queue.h"
#include "troupe/event_model/troupe_event.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_live_fold.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {

class TroupeLogWriter;
struct TroupeLogAppended;

struct TroupeLogLoad {
    bool first = true;                     // the launch's load; else a refold or reconcile
    std::unique_ptr<TroupeLoadedLog> log;  // skipped lines, read error, stop, the file read
    std::unique_ptr<TroupeLiveFold> live;  // null: nothing to publish (stopped, or the read failed)
    std::unique_ptr<TroupeEventIndex> index;
    std::uint64_t nextOffset = 0;  // where the next line written starts
    // This run's events the file lacked, appended again: folded on top.
    std::vector<TroupeEvent> missing;
    // Lines another program appended, read alone: their events and offsets, folded on top
    // of the snapshot as it is; `appendedBytes` long.
    bool appendedOnly = false;
    std::vector<std::pair<TroupeEvent, std::uint64_t>> appended;
    std::uint64_t appendedBytes = 0;
    std::uint64_t changes = 0;  // the writer's count of changes when it saw them
};

class TroupeLogLoader {
   public:
    using Handler = std::function<void(TroupeLogLoad)>;
    // `read` is pread(2) as the reads call it; tests pass one that fails.
    TroupeLogLoader(std::filesystem::path file, const Clock& clock, MainQueue& mainQueue,
                    TroupeLogReadControl::ReadFunction read, Handler handler);
    // Stops what runs and joins; a read that does not end by the quit's wait is left to
    // end on its own (its thread then goes, touching nothing of the loader's), the quit
    // having covered what it was for.
    ~TroupeLogLoader();
    TroupeLogLoader(const TroupeLogLoader&) = delete;
    TroupeLogLoader& operator=(const TroupeLogLoader&) = delete;

    // What the loader's threads share with it.
    struct Shared;

    // What the writer calls when the file at the path changed, and with lines another
    // program appended to it (any thread).
    std::function<void(std::uint64_t changes)> changeHandler();
    std::function<void(TroupeLogAppended)> appendedHandler();
    // The writer whose cuts the reads go up to; it must outlive the loader.
    void attach(TroupeLogWriter& writer);
    // Reads the file at the path, keeping the events from `tailFrom` on in the fold's tail.
    void start(Date tailFrom);
    // The launch's load once it ended, handed over once (to this or to the handler);
    // after stop(), waiting no longer than quitWait from then.
    std::optional<TroupeLogLoad> takeFirst(bool wait);
    // An accepted event landed before the settled fold and out of its place: the log is
    // folded again from `from`, once refoldEvery has passed since the last whole read began,
    // however many such events come meanwhile.
    void refold(Date from);
    // Blocks until no read runs nor is due (a refold waiting for its turn starts now),
    // handing each result to the handler; not while the writer cannot write, which holds
    // the cut back, nor while a failed read waits to be tried again. Not for a quit, which
    // waits for no read. False when there was none.
    bool settle();
    // An event accepted and queued for writing, `lineBytes` long without the newline.
    void accepted(const TroupeEvent& event, std::size_t lineBytes);
    // Quitting: the launch's load and a reconcile's read end within a block, the load
    // publishing no fold and the reconcile putting nothing back (the quit looks itself);
    // no other starts.
    void stop();
    // When the quit's reads must be over: quitWait after stop(), not counting the time
    // between the stop and resumeQuitClock() that the quit did not spend here.
    std::chrono::steady_clock::time_point quitDeadline() const;
    // The quit goes on after work of the app's own: its time counts from now, less what
    // takeFirst() waited of it.
    void resumeQuitClock();

    // A quit must end within 3 s of being asked (a session manager's or SIGTERM's wait):
    // the quit's own look at the file gets this much of that after stop(), and the lines
    // it then appends the rest.
    static constexpr std::chrono::milliseconds quitWait{2000};
    // How long the file must be left alone before it is read again.
    static constexpr std::chrono::milliseconds quiet{300};
    // The least time between the starts of two whole reads for refolds, on the clock's
    // monotonic time: a whole read of a long log takes seconds of CPU.
    static constexpr double refoldEvery = 60;

   private:
    void fileChanged();
    void refoldNow();
    void reconcile(Date from);
    bool takeNews();
    void finish(std::uint64_t generation, TroupeLogLoad load);
    void foldAppended(TroupeLogLoad load);

    const Clock& clock_;
    MainQueue& mainQueue_;
    Handler handler_;
    std::shared_ptr<Shared> shared_;
    std::uint64_t generation_ = 0;  // of the reconcile whose result counts
    // A reconcile runs: the events accepted (or appended by others) since it was asked
    // for, with their lines' sizes.
    std::optional<std::vector<std::pair<TroupeEvent, std::size_t>>> since_;
    bool again_ = false;  // the file changed while it ran
    // A refold waiting for its turn: from when, and its timer (none while a read runs).
    std::optional<Date> refoldFrom_;
    std::optional<TaskId> refoldTimer_;
    std::optional<double> lastWholeRead_;  // when the last one began
    std::optional<Date> outOfPlaceSince_;  // the earliest time of an event that landed out of place
    std::optional<std::chrono::steady_clock::time_point> stoppedAt_;
    std::chrono::steady_clock::duration quitWaited_{};  // by takeFirst(), once stopped
};

}  // namespace tw
