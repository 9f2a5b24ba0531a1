#include "troupe/store/troupe_log_quit_reconcile.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

namespace {

// What the read's thread owns: all of it, once it is left to end on its own.
struct IdRead {
    atomic_file::OpenedFile file;
    TroupeLogReadControl::ReadFunction read;
    std::atomic<bool> stop = false;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::unique_ptr<TroupeEventIndex> ids;  // null when the read failed or stopped
};

void readIds(IdRead& state) {
    auto ids = std::make_unique<TroupeEventIndex>();
    bool whole = false;
    failureOf([&] {
        const TroupeLoadedLog log =
            readTroupeLogBlocks(state.file, 0, ids.get(),
                                [](std::vector<std::optional<TroupeEvent>>&,
                                   const std::vector<std::uint64_t>&, const std::vector<bool>&) {},
                                {&state.stop, state.read});
        whole = log.readError.empty() && !log.stopped;
    });
    std::lock_guard lock(state.mutex);
    if (whole) state.ids = std::move(ids);
    state.done = true;
    state.ended.notify_all();
}

}  // namespace

TroupeLogQuitReconcile TroupeLogQuitReconcile::run(TroupeLogWriter& writer,
                                                   const TroupeLogReadControl::ReadFunction& read,
                                                   std::chrono::steady_clock::time_point deadline) {
    TroupeLogWriter::QuitLook look = writer.lookBeforeQuitting();
    std::vector<TroupeRunLedger::Line>& doubtful = look.doubtful;
    TroupeLogQuitReconcile outcome;
    if (doubtful.empty()) return outcome;
    // No file to read (nothing at the path, or it cannot be opened): it lacks them all.
    bool known = look.cut.file.status != atomic_file::ReadStatus::ok;
    auto state = std::make_shared<IdRead>();
    if (!known && std::chrono::steady_clock::now() < deadline) {
        state->file = std::move(look.cut.file);
        state->read = read;
        std::thread reader;
        failureOf([&] { reader = std::thread([state] { readIds(*state); }); });
        std::unique_lock lock(state->mutex);
        const bool done =
            reader.joinable() && state->ended.wait_until(lock, deadline, [&] { return state->done; });
        known = done && state->ids != nullptr;
        lock.unlock();
        state->stop = true;
        if (done)
            reader.join();
        else if (reader.joinable())
            reader.detach();
    }
    if (known && state->ids)
        std::erase_if(doubtful, [&](const auto& line) { return state->ids->contains(line.id); });
    outcome.appended = doubtful.size();
    outcome.unread = !known;
    if (!doubtful.empty()) writer.appendAgain(std::move(doubtful));
    return outcome;
}

}  // namespace tw
