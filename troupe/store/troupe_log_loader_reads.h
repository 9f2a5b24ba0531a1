#pragma once
// What runs on the troupe loader's read thread, and what that thread shares with the
// loader and the writer: the launch's load, a reconcile up to the writer's cut (tried
// again with a back-off while the read fails), and another program's lines read alone.
//
// Once the loader is gone (a quit), whatever still runs here finds no main queue, no
// writer and no ledger in `Shared`: it posts nothing, logs nothing and ends.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/main_queue.h"
#include "platform/serial_executor.h"
#include "troupe/store/troupe_log_loader.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

struct TroupeLogLoader::Shared : std::enable_shared_from_this<Shared> {
    std::filesystem::path file;
    TroupeLogReadControl::ReadFunction read;
    std::atomic<bool> stopRequested = false;  // quitting: the load ends, nothing waits for quiet
    std::atomic<bool> givenUp = false;        // quitting, or the loader gone: every read ends
    std::atomic<bool> backingOff = false;     // a reconcile's read failed and waits to be tried again
    TroupeLogLoader* owner = nullptr;         // main thread only

    std::mutex mutex;
    std::condition_variable ready;
    // Cleared under the mutex when the loader goes.
    MainQueue* mainQueue = nullptr;
    TroupeLogWriter* writer = nullptr;
    std::shared_ptr<const TroupeRunLedger> ledger;
    bool firstDone = false;
    std::optional<TroupeLogLoad> first;                            // until handed over
    std::vector<std::pair<std::uint64_t, TroupeLogLoad>> results;  // by generation, until handed over
    std::vector<TroupeLogLoad> appended;                           // until handed over
    bool changed = false;                                          // the writer saw the file change
    std::uint64_t changes = 0;  // the writer's count: appended lines seen before the last are stale
    std::unique_ptr<ThreadSerialExecutor> reads;
    std::uint64_t jobsAsked = 0;
    std::uint64_t jobsDone = 0;

    bool over() const { return stopRequested || givenUp; }
    // Wakes whoever waits and has the main thread look, while there is one.
    void announce();
    void post(std::uint64_t generation, TroupeLogLoad load);
    // A log line, while the loader lives.
    void say(const std::string& line);
    // A quit stops the launch's load at once, and gives a reconcile the quit's wait.
    TroupeLogReadControl control(bool first = false) const {
        return {first ? &stopRequested : &givenUp, read};
    }
    void submit(std::function<void()> job);
};

// Reads `opened` up to its size and folds it, as a launch's load does.
TroupeLogLoad readAndFoldTroupeLog(const atomic_file::OpenedFile& opened, std::string unusable, Date tailFrom,
                                   const TroupeLogReadControl& control);
// A result that leaves the snapshot as it was.
TroupeLogLoad nothingReadFromTroupeLog();
// Waits for quiet, has the writer cut, reads the file at the path up to the cut, folds it
// and has the writer put back what it lacks; a read that fails is tried again after
// `retryIn`, twice that after another failure, up to 30 s, until it works or a quit.
void reconcileTroupeLog(const std::weak_ptr<TroupeLogLoader::Shared>& weak, std::uint64_t generation,
                        Date tailFrom, std::chrono::milliseconds retryIn);
// The lines another program appended, read alone; a read that fails asks for a reconcile.
void readAppendedToTroupeLog(TroupeLogLoader::Shared& shared, const TroupeLogAppended& appended);

}  // namespace tw
