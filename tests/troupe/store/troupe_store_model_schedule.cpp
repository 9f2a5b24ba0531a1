// A schedule's course: its steps, the store opened, fed and quit, and the checks made
// once it settles.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/troupe/store/troupe_store_model.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/event_model/troupe_value_ops.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/store/troupe_live_fold.h"
#include "troupe/store/troupe_log_loader.h"

namespace tw::testing::model {
namespace {

// What a store mends on timers of its own (a failed read tried again) it gets this long for:
// this run's events are back in the file within 5 s.
constexpr auto mendWait = std::chrono::seconds(6);

std::string joined(const std::vector<Uuid>& ids) {
    std::string text;
    for (const Uuid& id : ids) text += " " + id.uuidString();
    return text;
}

constexpr Move moves[] = {
    Move::accept,          Move::accept,       Move::accept,  Move::accept,    Move::appendOthers,
    Move::appendOthers,    Move::renameCopy,   Move::remove,  Move::makeAgain, Move::truncate,
    Move::rewrite,         Move::appendOthers, Move::touch,   Move::writeOver, Move::failRead,
    Move::deadFile,        Move::quit,         Move::cutOurs, Move::metadata,  Move::othersInPieces,
    Move::quitWhileReading};

bool outOfPlace(const TroupeLiveFold& live) {
    const TroupeLiveFold::OutOfPlace out = live.outOfPlace();
    return !out.moved.empty() || !out.repeats.empty();
}

// What `out` says the snapshot is: the fold of the lines without its repeats (each id's line
// the one the fold takes), with its moved lines after the settled event it names.
TroupeSnapshot foldWith(const std::vector<TroupeEvent>& lines, const TroupeLiveFold::OutOfPlace& out) {
    const std::set<std::pair<Date, Uuid>> moved(out.moved.begin(), out.moved.end());
    const std::set<std::pair<Date, Uuid>> repeats(out.repeats.begin(), out.repeats.end());
    std::set<Uuid> counted;
    std::vector<TroupeEvent> settled, movedLines, rest;
    for (TroupeEvent& line : TroupeFold::sorted(lines)) {
        if (line.schemaVersion > troupeSchemaVersion || repeats.contains({line.ts, line.id}) ||
            !counted.insert(line.id).second)
            continue;
        if (moved.contains({line.ts, line.id}))
            movedLines.push_back(std::move(line));
        else if (out.after &&
                 !troupe_ops::timeThenIdBefore(out.after->first, out.after->second, line.ts, line.id))
            settled.push_back(std::move(line));
        else
            rest.push_back(std::move(line));
    }
    TroupeSnapshot snapshot;
    for (const auto* part : {&settled, &movedLines, &rest})
        for (const TroupeEvent& line : *part) TroupeFold::apply(line, snapshot);
    snapshot.eventCount = static_cast<std::int64_t>(counted.size());
    return snapshot;
}

}  // namespace

std::string Schedule::run() {
    try {
        steps();
    } catch (const std::exception& error) {
        fail("threw " + std::string(error.what()), fileNow());
    }
    return failure_;
}

void Schedule::steps() {
    open();
    std::vector<Move> schedule(3 + rng_() % 8);
    for (Move& move : schedule) move = moves[rng_() % std::size(moves)];
    for (std::size_t i = 0; i < schedule.size() && failure_.empty(); ++i) {
        steps_.emplace_back();
        // The running snapshot is checked after a move of its own, not while the store mends.
        const bool quiet = std::exchange(settled_, false) && rewriteFd_ < 0;
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
        if (quiet && (schedule[i] == Move::accept || schedule[i] == Move::appendOthers ||
                      schedule[i] == Move::othersInPieces)) {
            checkLive("live", false);
            const TroupeLiveFold* live = store_->liveFold();
            if (failure_.empty() && live && outOfPlace(*live)) {
                note("+1min");
                clock_.advance(TroupeLogLoader::refoldEvery + 1);
                mainQueue_.advance(TroupeLogLoader::refoldEvery + 1);
                checkLive("a minute on", true);
            }
        }
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

void Schedule::make(Move move) {
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

void Schedule::note(const std::string& what) { steps_.back() += (steps_.back().empty() ? "" : " ") + what; }

void Schedule::open() {
    store_ = std::make_unique<TroupeStore>(folder_, defaults_, clock_, mainQueue_, notifications_,
                                           faults_.readFunction(), faults_.writeFunction());
    store_->waitUntilLoaded();
    settled_ = true;
    run_.clear();
    std::lock_guard lock(writtenOverMutex_);
    writtenOver_.clear();
}

// A milestone, or XP for or a rename of the flea others' lines make.
TroupeEvent Schedule::ourEvent() {
    const auto roll = rng_() % 6;
    TroupePayload payload = TroupeMilestoneEarned{"mine" + std::to_string(rng_() % 1000)};
    if (roll == 0) payload = TroupeXPEarned{otherFlea_, 100, TroupeXPSource::click};
    if (roll == 1) payload = TroupeFleaRenamed{otherFlea_, "Mine " + std::to_string(rng_() % 100)};
    const auto kind = static_cast<TroupeEventKind>(payload.value.index());
    return TroupeEvent{idFrom(rng_),       kind, std::move(payload), clock_.now(), store_->deviceId(),
                       troupeSchemaVersion};
}

std::vector<TroupeEvent> Schedule::ours(int count) {
    std::vector<TroupeEvent> events;
    for (int i = 0; i < count; ++i) events.push_back(ourEvent());
    return events;
}

bool Schedule::take(const TroupeEvent& event) {
    const bool taken = std::holds_alternative<TroupeEvent>(store_->append(event));
    if (taken) run_.push_back(event.id);
    if (taken) remember(event);
    return taken;
}

// Now and then the writer is held just before one of the lines, so that the next move
// lands between two of its writes. Now and then the last is from before the settled
// fold: a milestone goes in its place, a rename has the log folded again up to a cut the
// loader's thread takes when it gets there (a drain runs it at once), so no line follows
// it before the store settles.
void Schedule::accept() {
    auto events = ours(1 + static_cast<int>(rng_() % 5));
    const bool late = rng_() % 6 == 0;
    if (late) events.back().ts = Date{clock_.now().seconds - 600};
    if (late && rng_() % 2 == 0) {
        events.back().kind = TroupeEventKind::fleaRenamed;
        events.back().payload = TroupeFleaRenamed{otherFlea_, "ours"};
    }
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

void Schedule::release() {
    faults_.release();
    held_ = false;
}

// A copy renamed over the log, and a quit while the read of it goes slowly.
void Schedule::quitWhileReading() {
    // Between two writes when one is held, as every move is; the read starts from this
    // thread's queue, once armed.
    renameCopy();
    release();
    faults_.slowNextRead(std::chrono::milliseconds(2500));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!faults_.readSlowed() && std::chrono::steady_clock::now() < deadline) mainQueue_.waitAndRun(0.02);
    note(faults_.readSlowed() ? "quit-while-reading" : "quit(no read)");
    quit();
    faults_.release();
    if (failure_.empty()) open();
}

void Schedule::quit() {
    store_->stopLoading();
    store_->markSessionEnd(clock_.now());
    store_->drain();
    store_.reset();
    check("at the quit");
}

testing::TroupeLogState Schedule::fileNow() const {
    return testing::troupeLogStateOf(testing::readFile(log_));
}

std::vector<Uuid> Schedule::writtenOver() {
    std::lock_guard lock(writtenOverMutex_);
    return writtenOver_;
}

// This run's events not in the file; until the quit, not those written over just after
// our write (neither size nor time tells: the quit compares this run's lines).
std::vector<Uuid> Schedule::lacking(const testing::TroupeLogState& file, bool all) {
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
void Schedule::settle() {
    // Lines the store puts back while a slow rewrite goes on, the program writes over: its
    // lines are the only ids that may be there twice.
    if (rewriteFd_ >= 0)
        for (const auto& [id, count] : testing::troupeLogStateOf(rewriteText_).ids) allowedTwice_.insert(id);
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
    settled_ = true;
}

// The running snapshot, every field, against the fold of the file's lines, with those the
// store holds out of their place after the settled ones (none once `refolded`), waited for
// with a deadline while the store takes others' lines. Not while a line of ours is held,
// written over, or a slow rewrite goes on.
void Schedule::checkLive(const std::string& when, bool refolded) {
    const testing::TroupeLogState file = fileNow();
    if (!store_ || held_ || rewriteFd_ >= 0 || lacking(file, true).size() > lacking(file, false).size())
        return;
    std::string found = liveProblems(refolded);
    for (const auto deadline = std::chrono::steady_clock::now() + mendWait;
         !found.empty() && std::chrono::steady_clock::now() < deadline; found = liveProblems(refolded))
        mainQueue_.waitAndRun(0.05);
    ++(refolded ? said_.minuteChecks : said_.liveChecks);
    const TroupeLiveFold* live = store_->liveFold();
    if (!refolded && live && outOfPlace(*live)) ++said_.outOfPlaceChecks;
    if (!found.empty()) fail(when, fileNow(), "\n  live: " + found);
}

std::string Schedule::liveProblems(bool refolded) {
    if (!lacking(fileNow(), false).empty()) return "this run's lines not all written yet";
    std::vector<TroupeEvent> lines;
    std::istringstream in(testing::readFile(log_));
    for (std::string line; std::getline(in, line);) {
        try {
            lines.push_back(decodeTroupeLogLine(line));
        } catch (const std::exception&) {
        }
    }
    const TroupeLiveFold* live = store_->liveFold();
    if (!live) return "no fold";
    const TroupeLiveFold::OutOfPlace out = live->outOfPlace();
    const std::size_t outOfPlace = out.moved.size() + out.repeats.size();
    if (refolded && outOfPlace > 0) return std::to_string(outOfPlace) + " lines still out of place";
    const TroupeSnapshot expected = foldWith(lines, out);
    if (store_->snapshot() == expected) return {};
    return "snapshot " + std::to_string(store_->snapshot().eventCount) + " events, the fold of the file's " +
           std::to_string(lines.size()) + " lines with " + std::to_string(outOfPlace) + " out of place " +
           std::to_string(expected.eventCount) +
           "\n    snapshot: " + store_->snapshot().toJson().dump().substr(0, 3000) +
           "\n    expected: " + expected.toJson().dump().substr(0, 3000);
}

void Schedule::check(const std::string& when) {
    const testing::TroupeLogState file = fileNow();
    if (const std::string found = problems(file); !found.empty()) fail(when, file, found);
}

// Every event of the run in the file, no id twice but those allowed, the snapshot a
// fresh load's (while the store runs).
std::string Schedule::problems(const testing::TroupeLogState& file) {
    const std::vector<Uuid> missing = lacking(file, !store_);
    std::vector<Uuid> twice;
    {
        std::lock_guard lock(linesMutex_);
        for (const auto& [id, count] : file.ids) {
            const auto repeated = repeats_.find(id);
            if (count > 1 + (allowedTwice_.contains(id) ? 1 : 0) +
                            (repeated == repeats_.end() ? 0 : repeated->second))
                twice.push_back(id);
        }
    }
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

void Schedule::fail(const std::string& when, const testing::TroupeLogState& file,
                    const std::string& problems) {
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

}  // namespace tw::testing::model
