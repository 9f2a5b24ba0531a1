#pragma once
// Keeps the troupe snapshot in step with the log file: the launch's load, a refold when
// an event lands before the settled fold, and a re-read when another file took the log's
// place. Every read runs on the loader's own thread, never ahead of the writer's lines:
// a re-read goes up to a cut the writer takes in order with them, and the events
// accepted after it are folded on top once it is done. The store gets one result a
// read: the fold, the id index, where the next line starts and the file that was read.
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

struct TroupeLogLoad {
    bool first = true;                     // the launch's load; else a refold or re-read
    std::unique_ptr<TroupeLoadedLog> log;  // skipped lines, read error, stop, the file read
    std::unique_ptr<TroupeLiveFold> live;  // null: nothing to publish (stopped, or a refold failed)
    std::unique_ptr<TroupeEventIndex> index;
    std::uint64_t nextOffset = 0;  // where the next line written starts
    // This run's lines in a file that took the log's place, indexed and not folded yet:
    // the file is folded as a first load would, and they go on top.
    std::vector<TroupeEvent> own;
    // Events this run wrote to files that another one replaced, which that one lacks:
    // appended again, without telling anybody a second time. Without a fold, all of
    // them: nothing was read to compare with, and the writer compares them with the end
    // of the file it writes to, as far back as a copy of `written` bytes reaches.
    std::vector<TroupeEvent> missing;
    std::uint64_t written = 0;  // this run's bytes in the replaced files they come from
};

class TroupeLogLoader {
   public:
    using Handler = std::function<void(TroupeLogLoad)>;
    // `read` is pread(2) as the reads call it; tests pass one that fails.
    TroupeLogLoader(std::filesystem::path file, const Clock& clock, MainQueue& mainQueue,
                    TroupeLogReadControl::ReadFunction read, Handler handler);
    ~TroupeLogLoader();  // stops what runs and joins
    TroupeLogLoader(const TroupeLogLoader&) = delete;
    TroupeLogLoader& operator=(const TroupeLogLoader&) = delete;

    // What the writer calls when it goes on in another file (any thread).
    std::function<void(std::uint64_t cutsTaken)> replacementHandler();
    // The writer whose cuts the re-reads go up to; it must outlive the loader.
    void attach(TroupeLogWriter& writer) { writer_ = &writer; }
    // Reads the file at the path, keeping the events from `tailFrom` on in the fold's tail.
    void start(Date tailFrom);
    // The launch's load once it ended, handed over once (to this or to the handler).
    std::optional<TroupeLogLoad> takeFirst(bool wait);
    // An accepted event landed before the settled fold: the log is folded again from `from`.
    void refold(Date from);
    // Blocks until no re-read runs nor is due (a replacement the writer saw), handing each
    // to the handler; not while the writer cannot write, which holds the re-read's cut
    // back, nor longer than quitWait after stop(). False when there was none.
    bool settle();
    // An event accepted and queued for writing, `lineBytes` long without the newline.
    void accepted(const TroupeEvent& event, std::size_t lineBytes);
    // Quitting: what reads ends within a block and publishes no fold. A re-read stopped
    // still hands over what this run wrote to the files replaced, to be written again.
    void stop();

    // A quit must end within 3 s of being asked (a session manager's or SIGTERM's wait):
    // settle() gives a re-read this much of that after stop(), and the lines it then
    // appends the rest.
    static constexpr std::chrono::milliseconds quitWait{2000};

   private:
    struct Shared;
    void fileReplaced(std::uint64_t cutsTaken);
    void reread(Date tailFrom, bool whole);
    bool takeNews();
    bool quitWaitIsOver();  // says so once
    void finish(std::uint64_t generation, TroupeLogLoad load);

    TroupeLogWriter* writer_ = nullptr;
    const Clock& clock_;
    MainQueue& mainQueue_;
    Handler handler_;
    std::shared_ptr<Shared> shared_;
    std::uint64_t generation_ = 0;  // of the re-read whose result counts
    std::uint64_t cutsAsked_ = 0;
    // A re-read runs: the events accepted since its cut was asked for, with their lines' sizes.
    std::optional<std::vector<std::pair<TroupeEvent, std::size_t>>> since_;
    // What re-reads that a later one overtook found missing, for the one that counts.
    std::vector<TroupeEvent> carried_;
    std::uint64_t carriedWritten_ = 0;
    std::optional<std::chrono::steady_clock::time_point> stoppedAt_;
    bool quitWaitSaid_ = false;
};

}  // namespace tw
