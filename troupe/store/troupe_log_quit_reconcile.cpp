#include "troupe/store/troupe_log_quit_reconcile.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "troupe/store/troupe_job_failure.h"
#include "troupe/store/troupe_log_id_scan.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {

namespace {

// What the scan's thread owns: all of it, once it is left to end on its own.
struct IdScan {
    atomic_file::OpenedFile file;
    std::vector<Uuid> wanted;
    TroupeLogReadControl::ReadFunction read;
    std::atomic<bool> stop = false;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::optional<std::vector<Uuid>> found;  // none when the scan failed or stopped
};

void scanIds(IdScan& state) {
    std::optional<std::vector<Uuid>> found;
    failureOf([&] {
        TroupeLogIdScan scan = scanTroupeLogForIds(state.file, state.wanted, {&state.stop, state.read});
        if (scan.readError.empty() && !scan.stopped) found = std::move(scan.found);
    });
    std::lock_guard lock(state.mutex);
    state.found = std::move(found);
    state.done = true;
    state.ended.notify_all();
}

}  // namespace

TroupeLogQuitReconcile TroupeLogQuitReconcile::run(TroupeLogWriter& writer,
                                                   const TroupeLogReadControl::ReadFunction& read,
                                                   std::chrono::steady_clock::time_point deadline,
                                                   bool kept) {
    TroupeLogQuitReconcile outcome;
    std::optional<TroupeLogWriter::QuitLook> look = writer.lookBeforeQuitting(deadline);
    if (!look) {
        outcome.unanswered = true;
        return outcome;
    }
    std::vector<TroupeRunLedger::Line>& doubtful = look->doubtful;
    outcome.readBack = doubtful.empty() && look->unseen == 0;
    outcome.unknown = look->unseen;
    if (doubtful.empty()) return outcome;
    // No file to read (nothing at the path, or it cannot be opened): it lacks them all.
    bool known = look->cut.file.status != atomic_file::ReadStatus::ok;
    auto state = std::make_shared<IdScan>();
    if (!known && std::chrono::steady_clock::now() < deadline) {
        state->file = std::move(look->cut.file);
        state->read = read;
        for (const auto& line : doubtful) state->wanted.push_back(line.id);
        std::thread scanner;
        failureOf([&] { scanner = std::thread([state] { scanIds(*state); }); });
        std::unique_lock lock(state->mutex);
        const bool done =
            scanner.joinable() && state->ended.wait_until(lock, deadline, [&] { return state->done; });
        known = done && state->found.has_value();
        lock.unlock();
        state->stop = true;
        if (done)
            scanner.join();
        else if (scanner.joinable())
            scanner.detach();
    }
    if (known && state->found) {
        const std::set<Uuid> held(state->found->begin(), state->found->end());
        std::erase_if(doubtful, [&](const auto& line) { return held.contains(line.id); });
    }
    // Not in this run's own copy: those kept on this machine are written by the next start.
    const std::size_t uncopied = std::erase_if(doubtful, [](const auto& line) { return line.text.empty(); });
    (kept ? outcome.unknown : outcome.lost) += uncopied;
    outcome.unread = !known;
    if (!known && kept) {
        outcome.unknown += doubtful.size();
        return outcome;
    }
    outcome.appended = doubtful.size();
    if (!doubtful.empty()) writer.appendAgain(std::move(doubtful));
    return outcome;
}

}  // namespace tw
