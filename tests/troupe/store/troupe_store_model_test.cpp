// Random schedules of what happens to the troupe log under a running store (its threads,
// real files): events accepted, copies renamed over the log, the log deleted, made again,
// cut short (this run's last lines among what goes), emptied and written over slowly from
// the start, written over in place just after one of our writes, touched, its metadata
// changed, appended to by other devices (a line in two pieces too), a read that fails once,
// the file held failing for good (a dead mount) with a new one put at the path, and quits
// (one while the read of a change goes slowly).
// The store settles after each move; then every event of the run is in the file at the
// path, no id is there twice (but where a program wrote over lines the store put back),
// and the snapshot is what a fresh load of that file folds. At each quit, every event of
// the run is in the file.
//
// Everything comes from the seed: the moves, their sizes, the simulated clock, the ids,
// and which read or write fails or is held. Schedules run from a fixed base seed, so the
// suite runs the same ones every time. Replay one (a failure prints this line):
//   TW_TROUPE_MODEL_SEED=<seed> tw_troupe_store_tests --gtest_filter='TroupeStoreModel.*'
// Other seeds: TW_TROUPE_MODEL_BASE=<first seed>, TW_TROUPE_MODEL_COUNT=<schedules>.
// With TW_TROUPE_MODEL_NO_INOTIFY=1 the process cannot have inotify (as where a user's
// instances are all taken, or on a mount that tells nothing): the slow poll alone.
//
// The store's threads keep time of their own: the writer looks at the path on a timer and
// a reconcile waits for the file to be quiet for a while. So each move on the path is one
// system call, a move that must land between two of the writer's writes does so while the
// writer is held in its write, a late event (a refold) is the last line before the store
// settles, and the store settles after each move: drained, then waited for with a deadline
// while it mends on timers of its own. A quit meets the move before it unsettled, but for a
// read or write made to fail: the store tries those again on a timer, which would race the
// quit. What still hangs on the clock: a change the writer sees on its timer within a step
// (a slow rewrite's lines) starts a reconcile that cuts the file once it has been quiet for
// a while, and a step slower than that lets the cut land among the lines the step then
// accepts. A dead file's descriptor still answers fstat(2), where a dead mount's fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "platform/notification_center.h"
#include "platform/testing/in_memory_defaults.h"
#include "platform/testing/manual_clock.h"
#include "platform/testing/manual_main_queue.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_store.h"

#ifndef TW_TROUPE_MODEL_SCHEDULES
#define TW_TROUPE_MODEL_SCHEDULES 200
#endif

namespace tw {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t defaultBaseSeed = 57000;
// What a store mends on timers of its own (a failed read tried again) it gets this long for:
// this run's events are back in the file within 5 s.
constexpr auto mendWait = std::chrono::seconds(6);

// Log lines of every store, each schedule picking its own by the log's path.
struct SharedLog {
    std::mutex mutex;
    std::vector<std::string> lines;
    std::string about(const std::string& path) {
        std::lock_guard lock(mutex);
        std::string said;
        for (const auto& line : lines)
            if (line.find(path) != std::string::npos) said += "\n    " + line;
        return said;
    }
};

Uuid idFrom(std::mt19937_64& rng) {
    Uuid id;
    for (auto& byte : id.bytes) byte = static_cast<std::uint8_t>(rng());
    return id;
}

std::string joined(const std::vector<Uuid>& ids) {
    std::string text;
    for (const Uuid& id : ids) text += " " + id.uuidString();
    return text;
}

enum class Move {
    accept,
    renameCopy,
    remove,
    makeAgain,
    truncate,
    rewrite,
    appendOthers,
    touch,
    writeOver,
    failRead,
    deadFile,
    quit,
    cutOurs,
    metadata,
    othersInPieces,
    quitWhileReading
};
constexpr Move moves[] = {
    Move::accept,  Move::accept,    Move::accept,         Move::accept,          Move::renameCopy,
    Move::remove,  Move::makeAgain, Move::truncate,       Move::rewrite,         Move::appendOthers,
    Move::touch,   Move::writeOver, Move::failRead,       Move::deadFile,        Move::quit,
    Move::cutOurs, Move::metadata,  Move::othersInPieces, Move::quitWhileReading};

class Schedule {
   public:
    Schedule(std::uint64_t seed, const fs::path& folder, SharedLog& said)
        : rng_(seed), folder_(folder), log_(folder / TroupeStore::logFileName), said_(said) {}

    ~Schedule() {
        faults_.release();
        store_.reset();
        if (rewriteFd_ >= 0) ::close(rewriteFd_);
    }

    // Empty when every check held; else what failed, and the schedule up to there.
    std::string run() {
        try {
            steps();
        } catch (const std::exception& error) {
            fail("threw " + std::string(error.what()), fileNow());
        }
        return failure_;
    }

   private:
    void steps() {
        open();
        std::vector<Move> schedule(3 + rng_() % 8);
        for (Move& move : schedule) move = moves[rng_() % std::size(moves)];
        for (std::size_t i = 0; i < schedule.size() && failure_.empty(); ++i) {
            steps_.emplace_back();
            clock_.advance(static_cast<double>(rng_() % 30));
            // One foreign change at a time, a slow rewrite's accepts aside.
            if (schedule[i] == Move::accept)
                goOnRewriting();
            else
                finishRewrite();
            const bool wasHeld = held_;
            make(schedule[i]);
            mainQueue_.runPending();
            if (schedule[i] == Move::quit || schedule[i] == Move::quitWhileReading) continue;
            if (held_ && !wasHeld) continue;  // the next move lands between two writes
            release();
            // The quit meets the move unsettled, but for a read or write made to fail: the store
            // tries those again on timers of its own, which would race the quit.
            const bool failing = schedule[i] == Move::failRead || schedule[i] == Move::deadFile;
            if (i + 1 < schedule.size() && schedule[i + 1] == Move::quit && !failing) continue;
            settle();
        }
        if (!failure_.empty()) return;
        steps_.emplace_back("end");
        finishRewrite();
        release();
        settle();
        if (failure_.empty()) quit();
    }

    void make(Move move) {
        switch (move) {
            case Move::accept:
                return accept();
            case Move::renameCopy:
                return renameCopy();
            case Move::remove:
                note("delete");
                fs::remove(log_);
                return;
            case Move::makeAgain:
                return makeAgain();
            case Move::truncate:
                return truncate();
            case Move::rewrite:
                return startRewrite();
            case Move::appendOthers:
                return appendOthers();
            case Move::touch:
                return touch();
            case Move::writeOver:
                return writeOverAfterOurs();
            case Move::failRead:
                note("read-fails-once:");
                faults_.failNextRead(EIO);
                return renameCopy();
            case Move::deadFile:
                return killHeldFile();
            case Move::quit:
                note("quit");
                release();
                quit();
                if (failure_.empty()) open();
                return;
            case Move::cutOurs:
                return cutOurs();
            case Move::metadata:
                return changeMetadata();
            case Move::othersInPieces:
                return appendOthersInPieces();
            case Move::quitWhileReading:
                return quitWhileReading();
        }
    }

    void note(const std::string& what) { steps_.back() += (steps_.back().empty() ? "" : " ") + what; }

    std::string otherLine(std::mt19937_64& rng) {
        TroupeEvent event{idFrom(rng),
                          TroupeEventKind::milestoneEarned,
                          TroupeMilestoneEarned{"theirs" + std::to_string(rng() % 100)},
                          Date{clock_.now().seconds - static_cast<double>(rng() % 100)},
                          otherDevice_,
                          troupeSchemaVersion};
        return encodeTroupeEventLine(event) + "\n";
    }

    // Each line of `text` once, a random share of them, others' lines among them.
    std::string someLines(std::mt19937_64& rng, const std::string& text, bool withOthers) {
        std::set<std::string> seen;
        std::string some;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && rng() % 3 != 0 && seen.insert(line).second) some += line + "\n";
        }
        for (int i = withOthers ? static_cast<int>(rng() % 3) : 0; i > 0; --i) some += otherLine(rng);
        return some;
    }

    void open() {
        store_ = std::make_unique<TroupeStore>(folder_, defaults_, clock_, mainQueue_, notifications_,
                                               faults_.readFunction(), faults_.writeFunction());
        store_->waitUntilLoaded();
        run_.clear();
        std::lock_guard lock(writtenOverMutex_);
        writtenOver_.clear();
    }

    TroupeEvent ourEvent() {
        return TroupeEvent{idFrom(rng_),
                           TroupeEventKind::milestoneEarned,
                           TroupeMilestoneEarned{"mine" + std::to_string(rng_() % 1000)},
                           clock_.now(),
                           store_->deviceId(),
                           troupeSchemaVersion};
    }

    std::vector<TroupeEvent> ours(int count) {
        std::vector<TroupeEvent> events;
        for (int i = 0; i < count; ++i) events.push_back(ourEvent());
        return events;
    }
    bool take(const TroupeEvent& event) {
        const bool taken = std::holds_alternative<TroupeEvent>(store_->append(event));
        if (taken) run_.push_back(event.id);
        return taken;
    }

    // Now and then the writer is held just before one of the lines, so that the next move
    // lands between two of its writes. Now and then the last is from before the settled
    // fold: the log is folded again up to a cut the loader's thread takes when it gets
    // there, so no line follows it before the store settles.
    void accept() {
        auto events = ours(1 + static_cast<int>(rng_() % 5));
        const bool late = rng_() % 6 == 0;
        if (late) events.back().ts = Date{clock_.now().seconds - 600};
        const int hold = !late && !held_ && rng_() % 3 == 0 ? static_cast<int>(rng_() % events.size()) : -1;
        note("accept" + std::to_string(events.size()) + (late ? " late" : "") +
             (hold < 0 ? "" : " held@" + std::to_string(hold + 1)));
        if (hold >= 0) faults_.holdWriteOf(events[hold].id.uuidString());
        bool heldTaken = true;
        for (int i = 0; i < static_cast<int>(events.size()); ++i) {
            if (!take(events[i]) && i == hold) heldTaken = false;
        }
        if (hold < 0) return;
        if (!heldTaken) return faults_.release();
        held_ = faults_.waitUntilHeld();
        if (!held_) fail("the writer never wrote the line of " + events[hold].id.uuidString(), fileNow());
    }

    void release() {
        faults_.release();
        held_ = false;
    }

    void renameCopy() {
        const bool withOthers = rng_() % 2 == 0;
        note(withOthers ? "rename-copy+others" : "rename-copy");
        testing::renameOver(log_, someLines(rng_, testing::readFile(log_), withOthers));
    }

    void makeAgain() {
        if (fs::exists(log_)) return note("make-again(there)");
        note("make-again");
        testing::renameOver(log_, rng_() % 2 ? otherLine(rng_) : "");
    }

    void truncate() {
        const auto size = fs::exists(log_) ? fs::file_size(log_) : 0;
        const int how = static_cast<int>(rng_() % 3);
        std::uintmax_t to = 0;
        if (how == 1) {  // in the middle of a line
            const std::string text = testing::readFile(log_);
            const auto newline = text.find('\n', size / 2);
            to = newline == std::string::npos || newline < 5 ? size / 2 : newline - 5;
        }
        if (how == 2) to = size == 0 ? 0 : rng_() % size;
        note("truncate" + std::to_string(to) + "/" + std::to_string(size));
        if (fs::exists(log_)) fs::resize_file(log_, to);
    }

    // As a shell's `>`: emptied at once, then written from the start through a descriptor
    // of its own, a few lines at each of the steps that follow while this run accepts. Whole
    // lines: a piece ending inside one could join the program's bytes to the rest of a line
    // of ours into a line that reads as ours, a double no store can tell from its own.
    void startRewrite() {
        rewriteText_ = someLines(rng_, testing::readFile(log_), true);
        rewriteAt_ = 0;
        note("rewrite");
        rewriteFd_ = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }

    void goOnRewriting() {
        if (rewriteFd_ < 0) return;
        const std::size_t lines = 1 + rng_() % 3;
        note("+" + std::to_string(lines) + " lines");
        std::size_t end = rewriteAt_;
        for (std::size_t i = 0; i < lines && end < rewriteText_.size(); ++i)
            end = rewriteText_.find('\n', end) + 1;
        testing::writeAll(rewriteFd_, std::string_view(rewriteText_).substr(rewriteAt_, end - rewriteAt_));
        rewriteAt_ = end;
    }

    void finishRewrite() {
        if (rewriteFd_ < 0) return;
        testing::writeAll(rewriteFd_, std::string_view(rewriteText_).substr(rewriteAt_));
        ::close(rewriteFd_);
        rewriteFd_ = -1;
    }

    void appendOthers() {
        note("append-others");
        std::string lines;
        for (int i = 1 + static_cast<int>(rng_() % 3); i > 0; --i) lines += otherLine(rng_);
        const int fd = ::open(log_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) testing::writeAll(fd, lines);
        if (fd >= 0) ::close(fd);
    }

    // The file ends inside this run's last lines: a short read for what reads them back.
    void cutOurs() {
        const std::string text = testing::readFile(log_);
        std::size_t at = std::string::npos;
        for (std::size_t back = 1 + rng_() % 3; back <= run_.size() && back > 0; --back) {
            at = text.find(run_[run_.size() - back].uuidString());
            if (at != std::string::npos) break;
        }
        if (at == std::string::npos) return note("cut-ours(none there)");
        const std::size_t start = text.rfind('\n', at);
        const std::size_t to = start == std::string::npos ? 0 : start + 1 + rng_() % 20;
        note("cut-ours" + std::to_string(to) + "/" + std::to_string(text.size()));
        fs::resize_file(log_, std::min(to, text.size()));
    }

    // What sync tools and backups do: an extended attribute, the same mode again, a hard link.
    void changeMetadata() {
        const int how = static_cast<int>(rng_() % 3);
        note(how == 0 ? "xattr" : how == 1 ? "chmod" : "link");
        if (how == 0) ::setxattr(log_.c_str(), "user.tw", "1", 1, 0);
        if (how == 1) ::chmod(log_.c_str(), 0600);
        std::error_code error;
        if (how == 2)
            fs::create_hard_link(log_, log_.string() + ".bak" + std::to_string(steps_.size()), error);
    }

    // Another program's line in two pieces, a few of ours accepted between them.
    void appendOthersInPieces() {
        const std::string line = otherLine(rng_);
        const std::size_t half = 1 + rng_() % (line.size() - 1);
        const auto gap = std::chrono::milliseconds(rng_() % 50);
        note("others-in-pieces@" + std::to_string(half) + "+" + std::to_string(gap.count()) + "ms");
        const int fd = ::open(log_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return;
        testing::writeAll(fd, std::string_view(line).substr(0, half));
        for (const auto& event : ours(1 + static_cast<int>(rng_() % 2))) take(event);
        std::this_thread::sleep_for(gap);  // the other program's pace
        testing::writeAll(fd, std::string_view(line).substr(half));
        ::close(fd);
    }

    // A copy renamed over the log, and a quit while the read of it goes slowly.
    void quitWhileReading() {
        // Between two writes when one is held, as every move is; the read starts from this
        // thread's queue, once armed.
        renameCopy();
        release();
        faults_.slowNextRead(std::chrono::milliseconds(2500));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!faults_.readSlowed() && std::chrono::steady_clock::now() < deadline)
            mainQueue_.waitAndRun(0.02);
        note(faults_.readSlowed() ? "quit-while-reading" : "quit(no read)");
        quit();
        faults_.release();
        if (failure_.empty()) open();
    }

    // Only the times change: now, the modification time set back, or left as it was.
    void touch() {
        struct stat info {};
        if (::stat(log_.c_str(), &info) != 0) return note("touch(nothing there)");
        timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
        const int how = static_cast<int>(rng_() % 3);
        if (how == 1) times[1] = {info.st_mtim.tv_sec - 1 - static_cast<time_t>(rng_() % 3600), 0};
        if (how == 2) times[1] = info.st_mtim;
        note(how == 0 ? "touch" : how == 1 ? "touch-back" : "touch-same-mtime");
        ::utimensat(AT_FDCWD, log_.c_str(), times, 0);
    }

    // Another program writes over one of this run's earlier lines, with a line of the same
    // length, in the instant after the writer's write of the next line.
    void writeOverAfterOurs() {
        const auto events = ours(1 + static_cast<int>(rng_() % 3));
        std::set<Uuid> earlier(run_.begin(), run_.end());
        TroupeEvent theirs{idFrom(rng_),
                           TroupeEventKind::milestoneEarned,
                           TroupeMilestoneEarned{""},
                           clock_.now(),
                           otherDevice_,
                           troupeSchemaVersion};
        const std::uint64_t pick = rng_();
        note("write-over-after+accept" + std::to_string(events.size()));
        faults_.afterWriteOf(events[0].id.uuidString(), [this, earlier, theirs, pick](int fd) {
            if (auto id = testing::writeOverLineOf(fd, earlier, theirs, pick)) {
                std::lock_guard lock(writtenOverMutex_);
                writtenOver_.push_back(*id);
            }
        });
        for (const auto& event : events) take(event);
    }

    // The file at the path fails every read and write for good, as on a mount whose daemon
    // died; just after the writer's first write fails, a new file (a copy) takes the path.
    void killHeldFile() {
        const auto events = ours(1 + static_cast<int>(rng_() % 2));
        const std::uint64_t copySeed = rng_();
        if (faults_.kill(log_)) {
            note("dead-file+accept" + std::to_string(events.size()));
            faults_.afterWriteOf({}, [this, copySeed](int) {
                std::mt19937_64 rng(copySeed);
                testing::renameOver(log_, someLines(rng, testing::readFile(log_), rng() % 2 == 0),
                                    ".mounted");
            });
        } else {
            note("dead-file(nothing there)+accept" + std::to_string(events.size()));
        }
        for (const auto& event : events) take(event);
    }

    void quit() {
        store_->stopLoading();
        store_->markSessionEnd(clock_.now());
        store_->drain();
        store_.reset();
        check("at the quit");
    }

    testing::TroupeLogState fileNow() const { return testing::troupeLogStateOf(testing::readFile(log_)); }

    std::vector<Uuid> writtenOver() {
        std::lock_guard lock(writtenOverMutex_);
        return writtenOver_;
    }

    // This run's events not in the file; until the quit, not those written over just after
    // our write (neither size nor time tells: the quit compares this run's lines).
    std::vector<Uuid> lacking(const testing::TroupeLogState& file, bool all) {
        const auto over = writtenOver();
        std::vector<Uuid> missing;
        for (const Uuid& id : run_) {
            if (!file.ids.contains(id) && (all || std::find(over.begin(), over.end(), id) == over.end()))
                missing.push_back(id);
        }
        return missing;
    }

    // Drained, and given a while for what the store mends on timers of its own (a failed
    // read tried again) or follows by events of its own.
    void settle() {
        // Lines the store puts back while a slow rewrite goes on, the program writes over: its
        // lines are the only ids that may be there twice.
        if (rewriteFd_ >= 0)
            for (const auto& [id, count] : testing::troupeLogStateOf(rewriteText_).ids)
                allowedTwice_.insert(id);
        store_->drain();
        mainQueue_.runPending();
        testing::TroupeLogState file = fileNow();
        std::string found = problems(file);
        for (const auto deadline = std::chrono::steady_clock::now() + mendWait;
             !found.empty() && std::chrono::steady_clock::now() < deadline; found = problems(file)) {
            mainQueue_.waitAndRun(0.1);
            store_->drain();
            file = fileNow();
        }
        faults_.failNextRead(0);
        faults_.afterWriteOf({}, {});
        if (!found.empty()) fail("settled", file, found);
    }

    void check(const std::string& when) {
        const testing::TroupeLogState file = fileNow();
        if (const std::string found = problems(file); !found.empty()) fail(when, file, found);
    }

    // Every event of the run in the file, no id twice but those allowed, the snapshot a
    // fresh load's (while the store runs).
    std::string problems(const testing::TroupeLogState& file) {
        const std::vector<Uuid> missing = lacking(file, !store_);
        std::vector<Uuid> twice;
        for (const auto& [id, count] : file.ids)
            if (count > (allowedTwice_.contains(id) ? 2 : 1)) twice.push_back(id);
        std::string found;
        if (!missing.empty())
            found += "\n  lost: " + std::to_string(missing.size()) + " of this run's " +
                     std::to_string(run_.size()) + " events not in the file:" + joined(missing);
        if (!twice.empty()) found += "\n  twice: " + std::to_string(twice.size()) + " ids:" + joined(twice);
        const bool overMissing = lacking(file, true).size() > missing.size();
        snapshots_ = "snapshot not compared while a line written over is missing";
        if (store_ && !overMissing) {
            testing::InMemoryDefaults defaults;
            testing::ManualMainQueue mainQueue;
            TroupeStore fresh(folder_, defaults, clock_, mainQueue, notifications_);
            fresh.waitUntilLoaded();
            snapshots_ = "snapshot " + std::to_string(store_->snapshot().eventCount) +
                         " events, a fresh load of the file " + std::to_string(fresh.snapshot().eventCount);
            if (!(fresh.snapshot() == store_->snapshot())) found += "\n  snapshot: not a fresh load's";
        }
        return found;
    }

    void fail(const std::string& when, const testing::TroupeLogState& file,
              const std::string& problems = {}) {
        std::string schedule;
        for (std::size_t i = 0; i < steps_.size(); ++i) schedule += (i ? " | " : "") + steps_[i];
        std::size_t twice = 0;
        for (const auto& [id, count] : file.ids) twice += count > 1 ? 1 : 0;
        failure_ = "step " + std::to_string(steps_.size()) + ", " + when + problems +
                   "\n  file: " + std::to_string(file.lines) + " lines, " + std::to_string(file.unreadable) +
                   " unreadable, " + std::to_string(file.ids.size()) + " ids, " + std::to_string(twice) +
                   " of them twice" + (store_ ? "; " + snapshots_ : "") + "\n  schedule: " + schedule;
        if (!allowedTwice_.empty())
            failure_ += "\n  allowed twice (a slow rewrite wrote over lines put back): " +
                        std::to_string(allowedTwice_.size()) + " ids";
        if (const auto over = writtenOver(); !over.empty())
            failure_ += "\n  written over just after our write, checked at the quit:" + joined(over);
        if (const std::string said = said_.about(log_.string()); !said.empty())
            failure_ += "\n  the store said:" + said;
    }

    std::mt19937_64 rng_;
    fs::path folder_;
    fs::path log_;
    SharedLog& said_;
    testing::InMemoryDefaults defaults_;
    testing::ManualClock clock_{Date{800000000.0}};
    testing::ManualMainQueue mainQueue_;
    NotificationCenter notifications_;
    Uuid otherDevice_ = idFrom(rng_);
    testing::TroupeFileFaults faults_;
    std::unique_ptr<TroupeStore> store_;
    bool held_ = false;
    std::vector<Uuid> run_;
    std::set<Uuid> allowedTwice_;
    std::mutex writtenOverMutex_;
    std::vector<Uuid> writtenOver_;
    int rewriteFd_ = -1;
    std::string rewriteText_;
    std::size_t rewriteAt_ = 0;
    std::vector<std::string> steps_;
    std::string snapshots_;
    std::string failure_;
};

std::uint64_t fromEnvironment(const char* name, std::uint64_t otherwise) {
    const char* text = std::getenv(name);
    return text ? std::stoull(text) : otherwise;
}

TEST(TroupeStoreModel, EveryEventOfTheRunStaysInTheFileAtThePath) {
    const bool withoutInotify = fromEnvironment("TW_TROUPE_MODEL_NO_INOTIFY", 0) != 0;
    if (withoutInotify && !testing::refuseInotify()) GTEST_SKIP() << "inotify cannot be refused here";
    const char* one = std::getenv("TW_TROUPE_MODEL_SEED");
    const std::uint64_t base =
        one ? std::stoull(one) : fromEnvironment("TW_TROUPE_MODEL_BASE", defaultBaseSeed);
    const std::uint64_t schedules =
        one ? 1 : fromEnvironment("TW_TROUPE_MODEL_COUNT", TW_TROUPE_MODEL_SCHEDULES);
    const std::string replay = std::string(withoutInotify ? " TW_TROUPE_MODEL_NO_INOTIFY=1" : "") + " " +
                               fs::read_symlink("/proc/self/exe").string() + " --gtest_filter='" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() +
                               ".*'";
    SharedLog said;
    log::setSinkForTesting([&](std::string_view line) {
        std::lock_guard lock(said.mutex);
        said.lines.emplace_back(line);
    });
    testing::TemporaryXdg root;
    std::atomic<std::uint64_t> next = 0;
    std::mutex failures;
    std::vector<std::string> failed;
    // Schedules wait on the store far more than they work: many at once.
    std::vector<std::thread> runners;
    for (std::uint64_t runner = 0; runner < std::min<std::uint64_t>(schedules, 48); ++runner) {
        runners.emplace_back([&] {
            for (std::uint64_t i; (i = next++) < schedules;) {
                const fs::path folder = root.root() / std::to_string(i);
                fs::create_directories(folder);
                const std::string failure = Schedule(base + i, folder, said).run();
                fs::remove_all(folder);
                if (failure.empty()) continue;
                std::lock_guard lock(failures);
                failed.push_back("seed " + std::to_string(base + i) + ", " + failure +
                                 "\n  replay: TW_TROUPE_MODEL_SEED=" + std::to_string(base + i) + replay);
            }
        });
    }
    for (auto& runner : runners) runner.join();
    log::setSinkForTesting(nullptr);
    for (const auto& failure : failed) ADD_FAILURE() << failure;
    RecordProperty("schedules", static_cast<int>(schedules));
    std::cout << schedules << " schedules from seed " << base << ", " << failed.size() << " failed\n";
}

}  // namespace
}  // namespace tw
