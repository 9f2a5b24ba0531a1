#include "troupe/store/troupe_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <random>
#include <set>
#include <system_error>
#include <thread>

#include "platform/defaults.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/store/troupe_device_identity.h"
#include "troupe/store/troupe_live_fold.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::event;
using testing::expectEachOnce;
using testing::fileSize;
using testing::othersLine;
using testing::RecordingSink;
using testing::TroupeHarness;
using testing::WriteFunction;

TEST(TroupeStore, RefusedEventsChangeNothing) {
    TroupeHarness h;
    auto store = h.open();
    const double now = h.clock.now().seconds;
    const auto kept = event(TroupeMilestoneEarned{"kept"}, now);
    ASSERT_TRUE(std::holds_alternative<TroupeEvent>(store->append(kept)));
    TroupeEvent newer = event(TroupeMilestoneEarned{"newer"}, now);
    newer.schemaVersion = 2;
    struct Case {
        const char* name;
        TroupeEvent event;
        std::optional<TroupeStoreError> error;  // none: the stored event comes back
    };
    const std::vector<Case> cases = {
        {"past the clock window",
         event(TroupeMilestoneEarned{"old"}, now - TroupeClock::pastToleranceSeconds - 1),
         TroupeStoreError::clockSkew},
        {"beyond the future tolerance",
         event(TroupeMilestoneEarned{"soon"}, now + TroupeClock::futureToleranceSeconds + 1),
         TroupeStoreError::clockSkew},
        {"no time at all", event(TroupeMilestoneEarned{"nan"}, std::nan("")), TroupeStoreError::clockSkew},
        {"a newer schema", newer, TroupeStoreError::unsupportedSchemaVersion},
        {"a non-finite number", event(TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, INFINITY}, now),
         TroupeStoreError::encodingFailed},
        {"a date with no text",
         event(TroupeFleaCreated{Uuid::random(), "Pip", 0, "none", "cannon", Date{1e15}, {}}, now),
         TroupeStoreError::encodingFailed},
        {"a repeated id", event(TroupeMilestoneEarned{"again"}, now, kept.id), std::nullopt},
    };
    ASSERT_TRUE(store->drain());
    const auto size = fileSize(h.logFile());
    const TroupeSnapshot before = store->snapshot();
    int posted = 0;
    h.notifications.addObserver(TroupeStore::eventAppendedNotification,
                                [&](const Notification&) { ++posted; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = store->append(c.event);
        if (c.error) {
            ASSERT_TRUE(std::holds_alternative<TroupeStoreError>(result));
            EXPECT_EQ(std::get<TroupeStoreError>(result), *c.error);
        } else {
            EXPECT_EQ(std::get<TroupeEvent>(result), kept);
        }
    }
    ASSERT_TRUE(store->drain());
    EXPECT_EQ(fileSize(h.logFile()), size);
    EXPECT_EQ(store->snapshot(), before);
    EXPECT_EQ(posted, 0);
}

// Events of one second arrive in any id order, fractions and all; the snapshot kept
// live must be the one the next launch folds from the file.
TEST(TroupeStore, TheLiveSnapshotIsTheOneTheNextLaunchReads) {
    TroupeHarness h;
    auto store = h.open();
    std::mt19937_64 rng(7);
    std::vector<Uuid> fleas;
    std::vector<TroupeEvent> stored;
    for (int step = 0; step < 400; ++step) {
        const auto roll = rng() % 10;
        const Uuid flea = fleas.empty() ? Uuid::random() : fleas[rng() % fleas.size()];
        const double ts = h.clock.now().seconds + static_cast<double>(rng() % 1000) / 1000.0;
        auto payload = [&]() -> TroupePayload {
            if (roll < 2 || fleas.empty()) {
                fleas.push_back(Uuid::random());
                return TroupeFleaCreated{fleas.back(), "Flea", 1, "crown", "cannon", Date{ts - 0.5}, {}};
            }
            if (roll < 5)
                return TroupeXPEarned{rng() % 2 ? std::optional<Uuid>(flea) : std::nullopt, 3,
                                      TroupeXPSource::click};
            if (roll < 6) return TroupeNodeUnlocked{flea, "cannon", "n" + std::to_string(rng() % 4), 4};
            if (roll < 7) return TroupeFleaIdOnly{flea};
            if (roll < 8) return TroupeMilestoneEarned{"m" + std::to_string(rng() % 5)};
            if (roll < 9) return TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"};
            return TroupeFleaRenamed{flea, "Renamed " + std::to_string(step)};
        }();
        const auto result = store->append(event(std::move(payload), ts));
        stored.push_back(std::get<TroupeEvent>(result));
        EXPECT_EQ(stored.back().ts.seconds, std::floor(ts));
        if (rng() % 8 == 0) h.clock.advance(1);
        if (step == 300) {
            // The clock steps back past the reorder window: the whole log is refolded.
            h.clock.advance(-2 * TroupeLiveFold::reorderWindowSeconds);
        }
    }
    ASSERT_TRUE(store->drain());  // and the refold
    const TroupeSnapshot live = store->snapshot();
    EXPECT_EQ(live, TroupeFold::fold(stored));
    ASSERT_TRUE(store->drain());
    store.reset();
    EXPECT_EQ(h.open()->snapshot(), live);
}

// Opening folds each line as it is read, through a window that puts lines a little out
// of the fold's order in place; any order must give the same snapshot as folding all of
// it sorted, and only a line far out of place (or none in order) may need the whole log
// again. Lines written sorted, shuffled within 1, 5 and 60 s (as a writer leaves them),
// shuffled whole, with one line far behind or ahead, and with repeated ids (one earlier
// in time than its first line) and newer-schema lines.
TEST(TroupeStore, OpeningFoldsAsTheSortedLogWhateverTheLineOrder) {
    std::mt19937_64 rng(11);
    std::vector<Uuid> fleas(6);
    for (auto& flea : fleas) flea = Uuid::random();
    const double start = 800000000.0 - 1150;
    std::vector<TroupeEvent> sorted;
    for (int i = 0; i < 3000; ++i) {
        const Uuid flea = fleas[rng() % fleas.size()];
        const auto roll = rng() % 10;
        auto payload = [&]() -> TroupePayload {
            if (roll < 4) return TroupeXPEarned{flea, 2, TroupeXPSource::keystroke};
            if (roll < 5)
                return TroupeCumulativeStatTick{TroupeCumulativeStat::clicks, 0.1 * static_cast<double>(i)};
            if (roll < 6)
                return TroupeFleaMessageFromUser{flea, Uuid::random(), "hi " + std::to_string(i),
                                                 Uuid::random()};
            if (roll < 7) return TroupeFleaRenamed{flea, "Name " + std::to_string(i)};
            if (roll < 8) return TroupeNodeUnlocked{flea, "cannon", "n" + std::to_string(i % 7), 4};
            return TroupeFleaCreated{flea, "Flea", 1, "crown", "cannon", Date{start}, {}};
        }();
        // Several events share a second; the last ones land in the live fold's tail.
        sorted.push_back(event(std::move(payload), start + std::floor(i * 0.4)));
    }
    std::sort(sorted.begin(), sorted.end(), TroupeFold::precedes);
    auto shuffledWithin = [&](double seconds) {
        std::vector<std::pair<double, TroupeEvent>> keyed;
        std::uniform_real_distribution<double> late(0, seconds);
        for (const auto& e : sorted) keyed.emplace_back(e.ts.seconds + late(rng), e);
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<TroupeEvent> lines;
        for (auto& [key, e] : keyed) lines.push_back(std::move(e));
        return lines;
    };
    auto shuffled = sorted;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    auto oneLate = sorted;
    std::rotate(oneLate.begin() + 2000, oneLate.begin() + 2001, oneLate.end());  // line 2000 comes last
    auto oneEarly = sorted;
    std::rotate(oneEarly.begin() + 100, oneEarly.begin() + 2900, oneEarly.begin() + 2901);  // 2900 at 100
    // Still in order: each repeat right after its first line.
    std::vector<TroupeEvent> repeats;
    for (const auto& e : sorted) {
        repeats.push_back(e);
        if (rng() % 50 == 0) repeats.push_back(e);
    }
    TroupeEvent newer = sorted[1500];
    newer.schemaVersion = troupeSchemaVersion + 1;
    repeats.insert(repeats.begin() + 10, newer);  // its id's known line comes later
    auto shuffledRepeats = repeats;
    std::shuffle(shuffledRepeats.begin(), shuffledRepeats.end(), rng);
    // An id again a few lines on, stamped earlier: the fold keeps the earlier in time.
    auto earlierAgain = shuffledWithin(5);
    TroupeEvent again = earlierAgain[1200];
    again.ts = again.ts.adding(-3);
    again.payload = TroupeMilestoneEarned{"earlier"};
    earlierAgain.insert(earlierAgain.begin() + 1205, again);
    // A line from a clock far ahead early on: the lines after it still wait their turn.
    auto oneFromTomorrow = shuffledWithin(5);
    oneFromTomorrow[10].ts = oneFromTomorrow[10].ts.adding(86400);
    auto oneAheadOfItsTime = shuffledWithin(5);
    oneAheadOfItsTime[10].ts = oneAheadOfItsTime[10].ts.adding(1000);  // still before the load
    // Each 50 s of lines written backwards: every line waits at the far end of the window.
    auto backwards = sorted;
    for (auto from = backwards.begin(); from != backwards.end();) {
        auto to = std::find_if(from, backwards.end(),
                               [&](const TroupeEvent& e) { return e.ts.seconds >= from->ts.seconds + 50; });
        std::reverse(from, to);
        from = to;
    }
    // Every line in one second, then a repeat: too many wait to look for its id among.
    auto crowded = sorted;
    for (auto& e : crowded) e.ts = Date{start};
    std::sort(crowded.begin(), crowded.end(), TroupeFold::precedes);
    crowded.push_back(crowded[5]);
    struct Case {
        const char* name;
        std::vector<TroupeEvent> lines;
        bool foldedAsRead;  // no line lands before one folded already
    };
    const std::vector<Case> cases = {
        {"sorted", sorted, true},
        {"shuffled within 1 s", shuffledWithin(1), true},
        {"shuffled within 5 s", shuffledWithin(5), true},
        {"shuffled within 60 s", shuffledWithin(TroupeLiveFold::reorderWindowSeconds), true},
        {"backwards within 50 s", backwards, true},
        {"one line far ahead", oneEarly, true},
        {"one line a day ahead, the rest a little out of order", oneFromTomorrow, true},
        {"one line 1000 s ahead, the rest a little out of order", oneAheadOfItsTime, true},
        {"an id again, earlier in time", earlierAgain, true},
        {"repeats and a newer schema", repeats, true},
        {"shuffled", shuffled, false},
        {"one line far behind", oneLate, false},
        {"repeats out of order", shuffledRepeats, false},
        {"a repeat while thousands wait", crowded, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TroupeHarness h;
        std::filesystem::create_directories(h.logFile().parent_path());
        {
            std::ofstream out(h.logFile(), std::ios::binary);
            for (const auto& e : c.lines) out << encodeTroupeEventLine(e) << '\n';
        }
        const TroupeSnapshot expected = TroupeFold::fold(c.lines);
        auto store = h.open();
        EXPECT_EQ(store->snapshot(), expected);
        EXPECT_EQ(store->snapshot().eventCount, 3000);

        // The same lines taken one at a time, as the load takes them.
        TroupeLiveFold live(Date{std::floor(h.clock.now().seconds) - TroupeLiveFold::reorderWindowSeconds});
        std::set<Uuid> seen;
        bool taken = true;
        for (auto e : c.lines) {
            const bool seenBefore = !seen.insert(e.id).second;
            if (!(taken = live.take(std::move(e), seenBefore))) break;
        }
        EXPECT_EQ(taken, c.foldedAsRead);
        if (taken) {
            live.finishTaking();
            EXPECT_EQ(live.snapshot(), expected);
        }
    }
}

// A load or refold whose read fails or throws, or whose second read (of a log with a line
// far out of place) fails or meets another file, keeps what it could read: a refold its
// snapshot, a load an empty troupe whose appends, during it and after, are written, and
// which takes the file it opened for the one it read. A file that took the log's place
// is read again, never the one it replaced; a read of it that throws or never ends leaves
// the snapshot as it was, holds no quit up, and the quit appends what no read saw.
TEST(TroupeStore, AReadThatFailsOrMeetsAnotherFileKeepsWhatWasRead) {
    enum Sabotage {
        failFirst,
        failSecond,
        throwFirst,
        throwLater,
        replace,
        remove,
        fifo,
        throwOnTheOld,
        throwOnTheNew,
        quitThrowing,
        quitHanging
    };
    const struct {
        bool refold;
        Sabotage sabotage;
    } rows[] = {{false, failFirst},   {false, failSecond}, {false, throwFirst},   {false, throwLater},
                {false, replace},     {false, remove},     {true, failSecond},    {true, replace},
                {true, remove},       {true, fifo},        {true, throwOnTheOld}, {true, throwOnTheNew},
                {true, quitThrowing}, {true, quitHanging}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.refold) + " " + std::to_string(row.sabotage));
        TroupeHarness h;
        testing::CapturedLog said;
        const double now = h.clock.now().seconds;
        const fs::path other = h.logFile().string() + ".other";
        fs::create_directories(h.logFile().parent_path());
        std::ofstream(other) << encodeTroupeEventLine(event(TroupeMilestoneEarned{"stranger"}, now)) << '\n';
        std::ofstream log(h.logFile());
        for (int ago : {300, 100, 90, 400})
            log << encodeTroupeEventLine(event(TroupeMilestoneEarned{std::to_string(ago)}, now - ago))
                << '\n';
        const auto fourth = event(TroupeMilestoneEarned{"400"}, now - 400);
        for (int i = 0; row.sabotage == throwLater && i < 20000; ++i)  // a second block
            log << encodeTroupeEventLine(fourth) << '\n';
        log.close();
        std::atomic<bool> armed = !row.refold;
        std::atomic<ino_t> replaced = 0;  // the file put at the path, whose read fails or stalls
        std::atomic<bool> onTheNew = false;
        std::mutex mutex;
        std::condition_variable changed;
        bool hanging = row.sabotage == quitHanging;
        int starts = 0;  // reads from the start of the file, on the writer's thread
        auto read = [&](int fd, void* buffer, std::size_t size, off_t offset) -> ssize_t {
            const bool start = armed && offset == 0 && ++starts > 0;
            if (start && row.sabotage <= failSecond && starts == (row.sabotage == failFirst ? 1 : 2)) {
                errno = EIO;
                return -1;
            }
            if ((start && row.sabotage == throwFirst && starts == 1) ||
                (armed && row.sabotage == throwLater && offset > 0))
                throw std::bad_alloc();
            if (struct stat info{}; replaced != 0 && ::fstat(fd, &info) == 0 && info.st_ino == replaced) {
                onTheNew = true;
                if (row.sabotage == quitThrowing)
                    throw std::system_error(EAGAIN, std::generic_category(), "no thread can be started");
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !hanging; });
                if (row.sabotage == throwOnTheNew || row.sabotage == throwOnTheOld) throw std::bad_alloc();
            }
            const ssize_t got = ::pread(fd, buffer, size, offset);
            if (start && starts == 1 && row.sabotage == replace) fs::rename(other, h.logFile());
            if (start && starts == 1 && row.sabotage == remove) fs::remove(h.logFile());
            return got;
        };
        auto owned = std::make_unique<TroupeStore>(TroupeStore::defaultDirectory(), h.defaults, h.clock,
                                                   h.mainQueue, h.notifications, read);
        TroupeStore& store = *owned;
        const auto during = event(TroupeMilestoneEarned{"during"}, now);
        EXPECT_TRUE(std::holds_alternative<TroupeEvent>(store.append(during)));
        store.waitUntilLoaded();
        if (!row.refold) {
            // The load reads the file it opened to its end: the one put at the path
            // meanwhile is read once the first line finds it there.
            const bool failed = row.sabotage <= throwLater;
            EXPECT_EQ(said.count("Cannot read the troupe log"), failed ? 1 : 0);
            EXPECT_EQ(store.snapshot().eventCount, failed ? 1 : 5);
            const auto after = event(TroupeMilestoneEarned{"after"}, now);
            EXPECT_TRUE(std::holds_alternative<TroupeEvent>(store.append(after)));
            ASSERT_TRUE(store.drain());
            EXPECT_NE(testing::readFile(h.logFile())
                          .find(encodeTroupeEventLine(during) + "\n" + encodeTroupeEventLine(after) + "\n"),
                      std::string::npos);
            if (row.sabotage == replace) {
                EXPECT_EQ(store.snapshot().milestonesEarned, (TroupeTextSet{"stranger", "during", "after"}));
            }
            // Nothing took the log's place: no re-read.
            if (failed) {
                EXPECT_EQ(store.snapshot().eventCount, 2);
            }
            continue;
        }
        ASSERT_TRUE(store.drain());  // the writer holds the log open from here on
        armed = true;
        if (row.sabotage == fifo) {  // in one step, as the writer may look in between
            const fs::path fifoFile = h.logFile().string() + ".fifo";
            ASSERT_EQ(::mkfifo(fifoFile.c_str(), 0600), 0);
            ASSERT_EQ(::renameat2(AT_FDCWD, fifoFile.c_str(), AT_FDCWD, h.logFile().c_str(), RENAME_EXCHANGE),
                      0);
            fs::rename(fifoFile, other);
        }
        if (row.sabotage >= throwOnTheOld) {
            struct stat info {};
            ASSERT_EQ(::stat((row.sabotage == throwOnTheOld ? h.logFile() : other).c_str(), &info), 0);
            replaced = info.st_ino;
            fs::rename(other, h.logFile());
        }
        const auto late = event(TroupeMilestoneEarned{"late"}, now - 600);  // only a refold puts it in place
        store.append(late);
        if (row.sabotage >= quitThrowing) {
            // A quit once the read of the new file is under way.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!onTheNew && std::chrono::steady_clock::now() < deadline) h.mainQueue.waitAndRun(0.05);
            ASSERT_TRUE(onTheNew);
            store.stopLoading();
        }
        const auto asked = std::chrono::steady_clock::now();
        ASSERT_TRUE(store.drain());  // the refold ran, or the quit's wait for it ended
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(3));
        if (row.sabotage == replace || row.sabotage == remove || row.sabotage == throwOnTheOld) {
            // The file at the path, this run's events put back in it; the file it replaced
            // is never read again.
            EXPECT_EQ(store.snapshot(), h.open()->snapshot());
            EXPECT_EQ(store.snapshot().eventCount, row.sabotage == remove ? 2 : 3);
        } else {
            EXPECT_EQ(store.snapshot().eventCount, 6);
            EXPECT_FALSE(store.snapshot().milestonesEarned.contains("stranger"));
        }
        std::unique_lock lock(mutex);
        hanging = false;
        changed.notify_all();
        lock.unlock();
        if (row.sabotage >= throwOnTheNew) {
            // What no read saw in the file at the path goes back into it at the quit.
            store.stopLoading();
            ASSERT_TRUE(store.drain());
            owned.reset();  // its threads are done with
            const std::string file = testing::readFile(h.logFile());
            for (const auto& mine : {during, late})
                EXPECT_NE(file.find(encodeTroupeEventLine(mine)), std::string::npos);
            EXPECT_EQ(said.count("Cannot read the troupe log again") > 0, row.sabotage != quitHanging);
            // The one line written before the new file came.
            EXPECT_EQ(said.count("appended 1 troupe event of this run again"), 1);
        }
    }
}

// Something put at the log's path under the running app: another file renamed over it
// (an editor's or sync tool's save) is the log from then on, appended to and folded;
// what cannot be read (a FIFO) leaves the snapshot as it was instead of folding nothing.
TEST(TroupeStore, ARefoldFollowsTheFileAtTheLogsPath) {
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "a FIFO" : "another file");
        TroupeHarness h;
        const double now = h.clock.now().seconds;
        const auto write = [&](const char* id) {
            std::ofstream(h.logFile(), std::ios::binary)
                << encodeTroupeEventLine(event(TroupeMilestoneEarned{id}, now - 300)) << '\n';
        };
        std::filesystem::create_directories(h.logFile().parent_path());
        write("old");
        auto store = h.open();
        store->append(event(TroupeMilestoneEarned{"kept"}, now));
        ASSERT_TRUE(store->drain());  // the writer holds the log open from here on
        std::filesystem::rename(h.logFile(), h.logFile().string() + ".moved");
        if (fifo) {
            ASSERT_EQ(::mkfifo(h.logFile().c_str(), 0600), 0);
        } else {
            write("theirs");
        }
        // Before the settled events: only a refold of the whole log puts it in its place.
        store->append(event(TroupeMilestoneEarned{"late"}, now - 600));
        ASSERT_TRUE(store->drain());  // and the refold
        // What this run wrote to the file replaced is not lost with it.
        EXPECT_EQ(store->snapshot().milestonesEarned,
                  (fifo ? TroupeTextSet{"old", "kept", "late"} : TroupeTextSet{"theirs", "kept", "late"}));
        EXPECT_EQ(store->snapshot().eventCount, 3);
        // An id the file holds is read back from that file.
        const std::string held =
            testing::readFile(fifo ? fs::path(h.logFile().string() + ".moved") : h.logFile());
        const TroupeEvent first = decodeTroupeLogLine(held.substr(0, held.find('\n')));
        EXPECT_EQ(std::get<TroupeEvent>(store->append(event(TroupeMilestoneEarned{"again"}, now, first.id))),
                  first);
    }
}

// The log cut short in place (truncated, or written over by a shell's `>`) under the
// running app, as lines keep coming: the snapshot and the index follow what the file
// holds, and this run's lines that went with the cut are written again, once.
TEST(TroupeStore, ALogCutShortInPlaceIsReadAgain) {
    for (const bool toHalf : {false, true}) {
        SCOPED_TRACE(toHalf ? "to half" : "to nothing");
        TroupeHarness h;
        const double now = h.clock.now().seconds;
        fs::create_directories(h.logFile().parent_path());
        {
            std::ofstream log(h.logFile());
            for (int i = 0; i < 10; ++i)
                log << encodeTroupeEventLine(
                           event(TroupeMilestoneEarned{"old" + std::to_string(i)}, now - 300))
                    << '\n';
        }
        auto store = h.open();
        std::vector<TroupeEvent> mine;
        const auto add = [&](int n) {
            for (int i = 0; i < n; ++i)
                mine.push_back(std::get<TroupeEvent>(store->appendKind(
                    TroupeEventKind::milestoneEarned,
                    TroupeMilestoneEarned{"mine" + std::to_string(mine.size())}, h.clock.now())));
        };
        add(5);
        ASSERT_TRUE(store->drain());
        fs::resize_file(h.logFile(), toHalf ? fileSize(h.logFile()) / 4 : 0);
        add(3);
        ASSERT_TRUE(store->drain());
        add(2);
        ASSERT_TRUE(store->drain());
        EXPECT_EQ(store->snapshot(), h.open()->snapshot());
        const std::string file = testing::readFile(h.logFile());
        for (std::size_t i = 0; i < mine.size(); ++i) {
            const std::string line = encodeTroupeEventLine(mine[i]);
            EXPECT_NE(file.find(line), std::string::npos) << i;
            EXPECT_EQ(file.find(line), file.rfind(line)) << i;
        }
        // An id already stored is read back from where it is now.
        TroupeEvent again = event(TroupeMilestoneEarned{"again"}, now, mine.back().id);
        EXPECT_EQ(std::get<TroupeEvent>(store->append(again)), mine.back());
    }
}

// What sync tools and shells do to the log while events keep coming: a merged copy, then
// the other device's own version; a large log, a small one, then a copy of the first;
// `prog > events.jsonl`, which empties the file and writes from its start a moment later,
// over what was appended meanwhile. Once things settle, every event of the run is in the
// file once and the snapshot is a fresh load's; at the quit, they still are.
TEST(TroupeStore, ThisRunsEventsOutliveWhatOtherProgramsDoToTheLog) {
    for (const char* row :
         {"merged, then theirs", "large, small, copy of the first", "written over by a shell"}) {
        SCOPED_TRACE(row);
        TroupeHarness h;
        const double now = h.clock.now().seconds;
        fs::create_directories(h.logFile().parent_path());
        const auto theirs = [&](int lines) {
            std::string text;
            for (int i = 0; i < lines; ++i)
                text += encodeTroupeEventLine(
                            event(TroupeMilestoneEarned{"theirs" + std::to_string(i)}, now - 200)) +
                        "\n";
            return text;
        };
        std::ofstream(h.logFile()) << theirs(row[0] == 'l' ? 5000 : 3);
        auto store = h.open();
        std::vector<TroupeEvent> mine;
        const auto add = [&](int n, bool settle = true) {
            for (int i = 0; i < n; ++i)
                mine.push_back(std::get<TroupeEvent>(store->appendKind(
                    TroupeEventKind::milestoneEarned,
                    TroupeMilestoneEarned{"mine" + std::to_string(mine.size())}, h.clock.now())));
            if (settle) {
                ASSERT_TRUE(store->drain());
            }
        };
        const auto landed = [&](const TroupeEvent& event) {
            const std::string line = encodeTroupeEventLine(event);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (testing::readFile(h.logFile()).find(line) == std::string::npos &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        const auto renameOver = [&](const std::string& text) {
            std::ofstream(h.logFile().string() + ".new") << text;
            fs::rename(h.logFile().string() + ".new", h.logFile());
        };
        add(20);
        if (row[0] == 'm') {
            renameOver(testing::readFile(h.logFile()) + theirs(1));
            add(5);
            renameOver(theirs(1));
        } else if (row[0] == 'l') {
            // The copy comes while the small one is read again for the lines this run wrote to it.
            const std::string first = testing::readFile(h.logFile());
            renameOver(theirs(10));
            add(5, false);
            landed(mine.back());
            h.mainQueue.runPending();
            renameOver(first);
        } else {
            const std::string before = testing::readFile(h.logFile());
            const int shell = ::open(h.logFile().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            ASSERT_GE(shell, 0);
            add(5, false);  // appended to the emptied file, then written over a moment later
            landed(mine.back());
            ASSERT_EQ(::write(shell, before.data(), before.size()), static_cast<ssize_t>(before.size()));
            ::close(shell);
        }
        add(5);
        const auto once = [&] {
            const std::string file = testing::readFile(h.logFile());
            for (const TroupeEvent& event : mine) {
                const std::string line = encodeTroupeEventLine(event) + "\n";
                EXPECT_NE(file.find(line), std::string::npos) << line;
                EXPECT_EQ(file.find(line), file.rfind(line)) << line;
            }
        };
        once();
        EXPECT_EQ(store->snapshot(), h.open()->snapshot());
        store->stopLoading();
        ASSERT_TRUE(store->drain());
        store.reset();
        once();
    }
}

// Another file renamed over the log: a copy of it made before an event was written
// (a sync tool's save), one found before the first line, and a large one whose re-read
// takes a while. Lines go on reaching the file during the re-read; what this run wrote
// and the new file lacks is written again, without telling the sinks twice, also by a
// quit during the re-read, also when other files took the log's place before the copy
// did; twice only where the quit says so.
TEST(TroupeStore, AFileRenamedOverTheLogKeepsWhatThisRunWrote) {
    enum When {
        copiedBeforeALine,
        beforeTheFirstLine,
        duringASlowReread,
        quitDuringASlowReread,
        quitAfterTwoReplacements,
        quitAfterThreeReplacements
    };
    for (const When when : {copiedBeforeALine, beforeTheFirstLine, duringASlowReread, quitDuringASlowReread,
                            quitAfterTwoReplacements, quitAfterThreeReplacements}) {
        SCOPED_TRACE(when);
        TroupeHarness h;
        const double now = h.clock.now().seconds;
        const fs::path copy = h.logFile().string() + ".new";
        fs::create_directories(h.logFile().parent_path());
        const bool copied = when == copiedBeforeALine || when >= quitDuringASlowReread;
        {
            std::ofstream log(h.logFile());
            for (int i = 0; i < (when == quitDuringASlowReread ? 8 : 1); ++i)  // a copy slow to read
                log << encodeTroupeEventLine(event(TroupeMilestoneEarned{"old"}, now - 300)) << '\n';
        }
        std::mutex mutex;
        std::condition_variable changed;
        bool gated = false;  // reads of the copy wait until opened
        bool reading = false;
        testing::CapturedLog said;
        auto read = [&](int fd, void* buffer, std::size_t size, off_t offset) -> ssize_t {
            struct stat info {};
            std::unique_lock lock(mutex);
            if (gated && ::fstat(fd, &info) == 0 && info.st_size > 1000) {
                reading = true;
                changed.notify_all();
                changed.wait_for(lock, std::chrono::seconds(10), [&] { return !gated; });
            }
            return ::pread(fd, buffer, size, offset);
        };
        TroupeStore store(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
                          read);
        store.waitUntilLoaded();
        auto sink = std::make_shared<RecordingSink>();
        store.addSink(sink);
        const auto mine = [&](const char* id, double ago = 0) {
            return std::get<TroupeEvent>(store.appendKind(TroupeEventKind::milestoneEarned,
                                                          TroupeMilestoneEarned{id}, Date{now - ago}));
        };
        std::vector<TroupeEvent> kept;
        // Until the line of `event` is at the log's path; then the news of the file it
        // went to is taken.
        const auto landed = [&](const TroupeEvent& event) {
            const auto line = encodeTroupeEventLine(event);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (testing::readFile(h.logFile()).find(line) == std::string::npos &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_NE(testing::readFile(h.logFile()).find(line), std::string::npos);
            h.mainQueue.runPending();
        };
        if (copied) {
            kept.push_back(mine("first"));
            ASSERT_TRUE(store.drain());
            fs::copy_file(h.logFile(), copy);
            kept.push_back(mine("between"));
            ASSERT_TRUE(store.drain());
        } else {
            // The large one from a clock an hour ahead: read as a first load reads it, once,
            // not with this run's lines behind it.
            std::ofstream theirs(copy);
            for (int i = 0; i < (when == beforeTheFirstLine ? 1 : 100); ++i)
                theirs << encodeTroupeEventLine(
                              event(TroupeMilestoneEarned{"theirs"},
                                    when == beforeTheFirstLine ? now - 200 : now + 3600 + i))
                       << '\n';
        }
        std::unique_lock lock(mutex);
        gated = when >= duringASlowReread;
        lock.unlock();
        // A large file, and a small one, before the copy: each one's re-read, still held or
        // waiting behind that, is overtaken by the next.
        for (int lines = 100; when >= quitAfterTwoReplacements && lines > 0;
             lines = when == quitAfterThreeReplacements && lines > 1 ? 1 : 0) {
            const fs::path theirs = h.logFile().string() + ".theirs";
            std::ofstream file(theirs);
            for (int i = 0; i < lines; ++i)
                file << encodeTroupeEventLine(event(TroupeMilestoneEarned{"theirs"}, now + 3600 + i)) << '\n';
            file.close();
            fs::rename(theirs, h.logFile());
            for (const char* id : {"on a file replaced", "after its cut"}) {
                kept.push_back(mine(id));
                landed(kept.back());  // a re-read is asked for, then its cut is taken
            }
        }
        fs::rename(copy, h.logFile());
        // Before the settled events in one row: a refold is asked for too.
        kept.push_back(mine("after", when == copiedBeforeALine ? 600 : 0));
        if (when >= quitAfterTwoReplacements) landed(kept.back());
        if (gated) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (lock.lock(); !reading && std::chrono::steady_clock::now() < deadline; lock.lock()) {
                lock.unlock();
                h.mainQueue.waitAndRun(0.05);  // the writer saw the new file: a re-read starts
            }
            ASSERT_TRUE(reading);
            lock.unlock();
        }
        if (when >= quitDuringASlowReread) store.stopLoading();
        if (when == duringASlowReread) {
            kept.push_back(mine("meanwhile"));
            landed(kept.back());
        }
        lock.lock();
        gated = false;
        changed.notify_all();
        lock.unlock();
        ASSERT_TRUE(store.drain());
        const TroupeSnapshot live = store.snapshot();
        EXPECT_EQ(live.milestonesEarned.contains("old"), copied);
        EXPECT_EQ(live.milestonesEarned.contains("theirs"), !copied);
        const std::string file = testing::readFile(h.logFile());
        for (const TroupeEvent& event : kept) {
            const std::string line = encodeTroupeEventLine(event) + "\n";
            EXPECT_NE(file.find(line), std::string::npos) << line;
            // Twice only by a quit that could not read the file again, and said so.
            if (file.find(line) != file.rfind(line)) {
                EXPECT_EQ(said.count("some perhaps twice"), 1) << line;
            }
            EXPECT_TRUE(live.milestonesEarned.contains(
                std::get<TroupeMilestoneEarned>(event.payload.value).milestoneId));
        }
        EXPECT_EQ(sink->events, kept);
        const auto loaded = h.open();
        EXPECT_EQ(loaded->snapshot(), live);
        EXPECT_EQ(loaded->skippedLineCount(), 0);
    }
}

// The log deleted and something that is no file put at its path while running: nothing
// goes to the deleted file. New events are refused, said once; those accepted wait
// until the path holds nothing, and are then written in order, those of the deleted file after.
TEST(TroupeStore, EventsWaitWhileTheDeletedLogsPathHoldsNoFile) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> rows = {
        {"a FIFO", [](const fs::path& log) { ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0); }},
        {"a folder", [](const fs::path& log) { fs::create_directory(log); }},
        {"a link to nothing", [](const fs::path& log) { fs::create_symlink("gone", log); }},
        {"a link to /dev/null", [](const fs::path& log) { fs::create_symlink("/dev/null", log); }},
    };
    for (const auto& [name, place] : rows) {
        SCOPED_TRACE(name);
        TroupeHarness h;
        testing::CapturedLog said;
        fs::create_directories(h.logFile().parent_path());
        std::ofstream(h.logFile()) << encodeTroupeEventLine(event(TroupeMilestoneEarned{"settled"},
                                                                  h.clock.now().seconds - 300))
                                   << '\n';
        auto store = h.open();
        const auto add = [&](const char* id, double ago = 0) {
            return store->appendKind(TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{id},
                                     Date{h.clock.now().seconds - ago});
        };
        const auto before = std::get<TroupeEvent>(add("before"));
        ASSERT_TRUE(store->drain());
        fs::remove(h.logFile());
        place(h.logFile());
        // Before the settled event: the refold it asks for waits behind it, and a drain does not.
        const auto held = std::get<TroupeEvent>(add("held", 600));
        EXPECT_FALSE(store->drain());  // no file to write it to
        for (const char* id : {"refused", "refused too"})
            EXPECT_EQ(std::get<TroupeStoreError>(add(id)), TroupeStoreError::logUnavailable);
        fs::remove(h.logFile());
        const auto after = std::get<TroupeEvent>(add("after"));
        ASSERT_TRUE(store->drain());
        // What went with the deleted file comes back after them.
        EXPECT_EQ(testing::readFile(h.logFile()), encodeTroupeEventLine(held) + "\n" +
                                                      encodeTroupeEventLine(after) + "\n" +
                                                      encodeTroupeEventLine(before) + "\n");
        EXPECT_EQ(store->snapshot().milestonesEarned, (TroupeTextSet{"before", "held", "after"}));
        store.reset();
        EXPECT_EQ(said.count("Refusing troupe events"), 1);
    }
}

TEST(TroupeStore, AppendsDuringTheLoadWaitForIt) {
    TroupeHarness h;
    const auto early = event(TroupeMilestoneEarned{"early"}, 800000000);
    {
        auto store = h.open();
        store->append(early);
    }
    TroupeStore store(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications);
    std::vector<std::string> seen;
    h.notifications.addObserver(TroupeStore::eventAppendedNotification, [&](const Notification& n) {
        const auto& appended =
            std::any_cast<const TroupeEvent&>(n.userInfo.at(TroupeStore::eventUserInfoKey));
        seen.push_back(std::get<TroupeMilestoneEarned>(appended.payload.value).milestoneId);
    });
    bool loaded = false;
    store.whenLoaded([&] { loaded = store.snapshot().milestonesEarned.contains("late"); });
    const auto late = event(TroupeMilestoneEarned{"late"}, 800000000);
    const auto repeat = event(TroupeMilestoneEarned{"repeat"}, 800000000, early.id);
    if (!store.isLoaded()) {
        EXPECT_EQ(std::get<TroupeEvent>(store.append(late)), late);
        EXPECT_EQ(std::get<TroupeEvent>(store.append(late)), late);  // repeated while pending
        store.append(repeat);
        EXPECT_EQ(store.snapshot().eventCount, 0);
    } else {
        store.append(late);  // the load won the race; the rest still holds
    }
    ASSERT_TRUE(h.mainQueue.waitAndRun() || store.isLoaded());
    store.waitUntilLoaded();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(seen, std::vector<std::string>{"late"});
    EXPECT_EQ(store.snapshot().milestonesEarned, (TroupeTextSet{"early", "late"}));
    EXPECT_EQ(store.snapshot().eventCount, 2);
}

// A quit during the load of a huge log (a 64 GiB hole) waits for no more than a block
// of it, publishes nothing, and writes the session the launch expected, after the rest.
TEST(TroupeStore, AQuitStopsTheLoadAndStillWritesTheSession) {
    TroupeHarness h;
    fs::create_directories(h.logFile().parent_path());
    std::ofstream(h.logFile()) << encodeTroupeEventLine(event(TroupeMilestoneEarned{"old"}, 0)) << '\n';
    fs::resize_file(h.logFile(), std::uintmax_t{64} << 30);
    TroupeStore store(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications);
    bool published = false;
    store.whenLoaded([&] { published = true; });
    store.expectSessionStart("desk", h.clock.now());
    store.appendKind(TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"during"}, h.clock.now());
    h.clock.advance(5);
    const auto asked = std::chrono::steady_clock::now();
    store.stopLoading();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));
    store.markSessionEnd(h.clock.now());
    ASSERT_TRUE(store.drain());
    h.mainQueue.runPending();
    EXPECT_FALSE(published);
    EXPECT_EQ(store.snapshot().eventCount, 0);
    std::ifstream log(h.logFile());
    log.seekg(-2000, std::ios::end);
    std::vector<TroupePayload> tail;
    for (std::string line; std::getline(log, line);)
        if (line.starts_with('{')) tail.push_back(decodeTroupeLogLine(line).payload);
    EXPECT_EQ(tail,
              (std::vector<TroupePayload>{TroupeMilestoneEarned{"during"},
                                          TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"},
                                          TroupeDeviceSessionEnd{5}}));
}

// Whatever made the log unusable is looked at again by each append, not trusted for good.
TEST(TroupeStore, AnUnusableLogIsTriedAgainByTheNextAppend) {
    TroupeHarness h;
    fs::create_directories(h.logFile().parent_path());
    ASSERT_EQ(::mkfifo(h.logFile().c_str(), 0600), 0);
    auto store = h.open();
    const auto kind = TroupeEventKind::milestoneEarned;
    EXPECT_TRUE(std::holds_alternative<TroupeStoreError>(
        store->appendKind(kind, TroupeMilestoneEarned{"a"}, h.clock.now())));
    fs::remove(h.logFile());
    const auto taken = store->appendKind(kind, TroupeMilestoneEarned{"b"}, h.clock.now());
    ASSERT_TRUE(store->drain());
    EXPECT_EQ(testing::readFile(h.logFile()), encodeTroupeEventLine(std::get<TroupeEvent>(taken)) + "\n");
}

TEST(TroupeStore, SessionsMilestonesSinksAndNotifications) {
    TroupeHarness h;
    auto store = h.open();
    auto sink = std::make_shared<RecordingSink>();
    auto gone = std::make_shared<RecordingSink>();
    store->addSink(sink);
    store->addSink(gone);
    gone.reset();
    std::vector<std::string> order;
    for (const char* name :
         {TroupeStore::eventAppendedNotification, TroupeStore::snapshotChangedNotification}) {
        h.notifications.addObserver(name, [&order](const Notification& n) {
            order.push_back(n.name + (n.userInfo.contains("event") ? "+event" : ""));
        });
    }

    store->markSessionEnd(h.clock.now());  // no start: nothing
    const Date start = h.clock.now();
    store->markSessionStart("desk", start);
    store->markSessionEnd(start.adding(-10));  // a clock that went back: no negative duration
    store->markSessionEnd(start.adding(20));   // the start is forgotten: nothing
    store->markSessionStart(std::nullopt, start.adding(30));
    h.clock.advance(120);
    store->markSessionEnd(h.clock.now());
    store->acknowledgeMilestones({"b", "a"});

    std::vector<TroupePayload> payloads;
    for (const auto& e : sink->events) payloads.push_back(e.payload);
    const std::vector<TroupePayload> expected = {
        TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, "desk"},
        TroupeDeviceSessionEnd{0},
        TroupeDeviceSessionStart{TroupeDeviceKind::linuxDesktop, std::nullopt},
        TroupeDeviceSessionEnd{90},
        TroupeMilestoneAcknowledged{"b", store->deviceId()},
        TroupeMilestoneAcknowledged{"a", store->deviceId()},
    };
    EXPECT_EQ(payloads, expected);
    for (const auto& e : sink->events) EXPECT_EQ(e.deviceId, store->deviceId());
    ASSERT_EQ(order.size(), 12u);
    EXPECT_EQ(order[0], std::string(TroupeStore::eventAppendedNotification) + "+event");
    EXPECT_EQ(order[1], TroupeStore::snapshotChangedNotification);
    EXPECT_EQ(store->snapshot().lastSeen(store->deviceId()), h.clock.now());
    EXPECT_TRUE(store->snapshot().hasAcknowledgedMilestone("a", store->deviceId()));
}

TEST(TroupeStore, TheDeviceIdSurvivesACorruptSettingsFile) {
    TroupeHarness h;
    const auto settings = h.xdg.root() / "config" / "tumblewick" / "standard.json";
    Uuid first;
    {
        JsonFileDefaults defaults(settings);
        TroupeStore store(TroupeStore::defaultDirectory(), defaults, h.clock, h.mainQueue, h.notifications);
        first = store.deviceId();
        EXPECT_EQ(defaults.stringForKey(TroupeDeviceIdentity::defaultsKey), first.uuidString());
    }
    std::ofstream(settings, std::ios::trunc) << "{ this is not a settings file";
    {
        JsonFileDefaults defaults(settings);  // sets the broken file aside and starts empty
        TroupeStore store(TroupeStore::defaultDirectory(), defaults, h.clock, h.mainQueue, h.notifications);
        EXPECT_EQ(store.deviceId(), first);
        EXPECT_EQ(defaults.stringForKey(TroupeDeviceIdentity::defaultsKey), first.uuidString());
    }
    // Both copies gone: a new device.
    std::filesystem::remove(settings);
    std::filesystem::remove(TroupeStore::defaultDirectory() / TroupeDeviceIdentity::copyFileName);
    JsonFileDefaults defaults(settings);
    TroupeStore store(TroupeStore::defaultDirectory(), defaults, h.clock, h.mainQueue, h.notifications);
    EXPECT_NE(store.deviceId(), first);
    EXPECT_EQ(
        std::filesystem::status(TroupeStore::defaultDirectory()).permissions() & std::filesystem::perms::all,
        std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// The file at the path gets this run's events back without a quit: after the descriptor
// held failed for good (a FUSE daemon that died: ENOTCONN on that descriptor alone), with
// the same file at the path or a new one, and after the read of a file renamed over the
// log failed once.
TEST(TroupeStore, TheFileAtThePathGetsThisRunsEventsBack) {
    enum How { deadSameFile, deadNewFile, readFailsOnce };
    for (const How how : {deadSameFile, deadNewFile, readFailsOnce}) {
        SCOPED_TRACE(how);
        TroupeHarness h;
        std::atomic<bool> kill = false;
        const WriteFunction write = [&](int fd, const void* bytes, std::size_t size) -> ssize_t {
            const int flags = ::fcntl(fd, F_GETFL);
            if (kill.exchange(false)) ::fcntl(fd, F_SETFL, flags | O_NOATIME);  // marks this description dead
            if ((::fcntl(fd, F_GETFL) & O_NOATIME) != 0) return errno = ENOTCONN, -1;
            return ::write(fd, bytes, size);
        };
        std::atomic<ino_t> failOnce = 0;
        const auto read = [&](int fd, void* buffer, std::size_t size, off_t offset) -> ssize_t {
            struct stat info {};
            if (ino_t inode = ::fstat(fd, &info) == 0 ? info.st_ino : 0;
                failOnce.compare_exchange_strong(inode, 0))
                return errno = EIO, -1;
            return ::pread(fd, buffer, size, offset);
        };
        auto store = std::make_unique<TroupeStore>(TroupeStore::defaultDirectory(), h.defaults, h.clock,
                                                   h.mainQueue, h.notifications, read, write);
        store->waitUntilLoaded();
        std::vector<TroupeEvent> mine;
        const auto add = [&] {
            for (int i = 0; i < 3; ++i)
                mine.push_back(std::get<TroupeEvent>(store->appendKind(
                    TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"mine"}, h.clock.now())));
        };
        add();
        ASSERT_TRUE(store->drain());
        kill = how != readFailsOnce;
        if (how != deadSameFile) {
            const fs::path theirs = h.logFile().string() + ".new";
            std::ofstream(theirs) << othersLine(h.clock.now().seconds);
            struct stat info {};
            ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
            failOnce = how == readFailsOnce ? info.st_ino : 0;
            fs::rename(theirs, h.logFile());
        }
        if (how != readFailsOnce) add();
        store->drain();
        const auto allThere = [&] {
            const std::string text = testing::readFile(h.logFile());
            return std::all_of(mine.begin(), mine.end(), [&](const TroupeEvent& event) {
                return text.find(encodeTroupeEventLine(event)) != std::string::npos;
            });
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!allThere() && std::chrono::steady_clock::now() < deadline) h.mainQueue.waitAndRun(0.05);
        EXPECT_TRUE(allThere());
        store->stopLoading();
        store->drain();
        store.reset();
        expectEachOnce(h.logFile(), mine);
    }
}

}  // namespace
}  // namespace tw
