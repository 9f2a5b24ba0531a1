// The load of the log: the order it folds lines in, reads that fail or meet another
// file, appends made while it runs, and a quit that stops it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/snapshot/troupe_fold.h"
#include "troupe/store/troupe_live_fold.h"
#include "troupe/store/troupe_log_reader.h"
#include "troupe/store/troupe_store.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::event;
using testing::TroupeHarness;

// Opening folds each line as it is read, through a window that puts lines a little out
// of the fold's order in place; any order must give the same snapshot as folding all of
// it sorted, and only a line far out of place (or none in order) may need the whole log
// again. Lines written sorted, shuffled within 1, 5 and 60 s (as a writer leaves them),
// shuffled whole, with one line far behind (in the last minute too) or ahead, and with
// repeated ids (one earlier in time than its first line) and newer-schema lines.
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
    auto lateInTheTail = sorted;  // line 2750, 50 s before the load, comes last
    std::rotate(lateInTheTail.begin() + 2750, lateInTheTail.begin() + 2751, lateInTheTail.end());
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
        {"one line of the last minute far behind", lateInTheTail, true},
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
        // Only a refold puts it in place: a rename does not commute with what follows.
        const auto late = event(TroupeFleaRenamed{Uuid::random(), "late"}, now - 600);
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

}  // namespace
}  // namespace tw
