// Quitting: the one look at what the file at the log's path lacks of this run, made in
// time whatever other programs, the machine's load or the file system do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/troupe/store/troupe_own_copy.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_loader.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::expectEachOnce;
using testing::othersLine;
using testing::TroupeHarness;
using testing::WriteFunction;
using Steady = std::chrono::steady_clock;

// A quit is held about 3 s at most. Its own waits end by the clock whatever the load (for a
// read, then for the lines): the room past them is for the work around them, a few ms even
// on busy cores.
constexpr auto quitBound = std::chrono::seconds(3);
static_assert(TroupeLogLoader::quitWait + TroupeStore::quitWriteWait + std::chrono::milliseconds(500) <=
              quitBound);

std::vector<TroupeEvent> appendMine(TroupeStore& store, TroupeHarness& h, int count) {
    std::vector<TroupeEvent> mine;
    for (int i = 0; i < count; ++i)
        mine.push_back(std::get<TroupeEvent>(
            store.appendKind(TroupeEventKind::milestoneEarned,
                             TroupeMilestoneEarned{"mine" + std::to_string(i)}, h.clock.now())));
    return mine;
}

// A quit appends what the file at the path lacks of this run once, and only that: the log
// touched, or appended to by another program, just before (a read of it all held back, as
// one of a large log is), touched all through the quit, or written over in the instant
// after one of our lines. Drained twice, as the app's quit and the store's end both do.
TEST(TroupeLogQuit, AQuitAppendsWhatTheFileLacksOnce) {
    enum What { touched, appendedByAnother, touchedThroughTheQuit, writtenOverAfterOurs };
    for (const What what : {touched, appendedByAnother, touchedThroughTheQuit, writtenOverAfterOurs}) {
        SCOPED_TRACE(what);
        TroupeHarness h;
        std::mutex mutex;
        std::condition_variable released;
        bool gated = false;
        const auto gate = [&](bool on) {
            std::lock_guard lock(mutex);
            gated = on;
            released.notify_all();
        };
        const auto read = [&](int fd, void* buffer, std::size_t size, off_t offset) {
            std::unique_lock lock(mutex);
            released.wait_for(lock, std::chrono::seconds(10), [&] { return !gated || offset > 0; });
            return ::pread(fd, buffer, size, offset);
        };
        std::vector<off_t> starts;  // of our lines
        const WriteFunction write = [&](int fd, const void* bytes, std::size_t size) {
            starts.push_back(::lseek(fd, 0, SEEK_END));
            const ssize_t written = ::write(fd, bytes, size);
            if (what == writtenOverAfterOurs && starts.size() == 3) {
                const int other = ::open(h.logFile().c_str(), O_WRONLY | O_CLOEXEC);
                EXPECT_EQ(::pwrite(other, std::string(10, 'x').data(), 10, starts[0]), 10);
                ::close(other);
            }
            return written;
        };
        auto store = std::make_unique<TroupeStore>(TroupeStore::defaultDirectory(), h.defaults, h.clock,
                                                   h.mainQueue, h.notifications, read, write);
        store->waitUntilLoaded();
        std::vector<TroupeEvent> mine;
        for (int i = 0; i < 5; ++i)
            mine.push_back(std::get<TroupeEvent>(store->appendKind(
                TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"mine"}, h.clock.now())));
        ASSERT_TRUE(store->drain());
        gate(what != writtenOverAfterOurs);
        std::atomic<bool> quitting = true;
        std::thread toucher([&] {
            for (bool again = what <= touched || what == touchedThroughTheQuit; again; again = quitting) {
                ::utimensat(AT_FDCWD, h.logFile().c_str(), nullptr, 0);
                if (what == touched) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        if (what == appendedByAnother) {
            const int other = ::open(h.logFile().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            const std::string theirs = othersLine(h.clock.now().seconds);
            EXPECT_EQ(::write(other, theirs.data(), theirs.size()), static_cast<ssize_t>(theirs.size()));
            ::close(other);
        }
        const auto asked = std::chrono::steady_clock::now();
        store->stopLoading();
        store->drain();
        store->drain();
        quitting = false;
        toucher.join();
        gate(false);
        store.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, quitBound);
        expectEachOnce(h.logFile(), mine);
    }
}

// A main queue that counts what is posted to it once the store is gone.
struct ClosingQueue final : MainQueue {
    testing::ManualMainQueue queue;
    std::atomic<bool> closed = false;
    std::atomic<int> late = 0;
    void post(std::function<void()> work) override {
        late += closed ? 1 : 0;
        queue.post(std::move(work));
    }
    TaskId postAfter(double seconds, std::function<void()> work) override {
        return queue.postAfter(seconds, std::move(work));
    }
    TaskId repeat(double seconds, std::function<void()> work) override {
        return queue.repeat(seconds, std::move(work));
    }
    void cancel(TaskId id) override { queue.cancel(id); }
};

// A read of the log stalled at the quit is left to end on its own; once the store is gone
// it posts nothing and logs nothing when it ends. The quit ends within 3 s all the same.
TEST(TroupeLogQuit, AReadLeftAtTheQuitTouchesNothingWhenItEnds) {
    TroupeHarness h;
    testing::CapturedLog said;
    ClosingQueue queue;
    std::mutex mutex;
    std::condition_variable changed;
    bool stalled = false;
    bool released = false;
    std::atomic<ino_t> stallOn = 0;
    auto alive = std::make_shared<int>(0);
    const std::weak_ptr<int> copies = alive;  // of the read function, held by the threads that read
    auto store = std::make_unique<TroupeStore>(
        TroupeStore::defaultDirectory(), h.defaults, h.clock, queue, h.notifications,
        [&, alive](int fd, void* buffer, std::size_t size, off_t offset) {
            struct stat info {};
            if (::fstat(fd, &info) == 0 && info.st_ino == stallOn) {
                std::unique_lock lock(mutex);
                stalled = true;
                changed.notify_all();
                changed.wait(lock, [&] { return released; });
            }
            return ::pread(fd, buffer, size, offset);
        });
    alive.reset();
    store->waitUntilLoaded();
    std::vector<TroupeEvent> mine;
    const auto add = [&] {
        mine.push_back(std::get<TroupeEvent>(store->appendKind(
            TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"mine"}, h.clock.now())));
    };
    add();
    ASSERT_TRUE(store->drain());
    const fs::path theirs = h.logFile().string() + ".new";
    std::ofstream(theirs) << othersLine(h.clock.now().seconds);
    struct stat info {};
    ASSERT_EQ(::stat(theirs.c_str(), &info), 0);
    stallOn = info.st_ino;
    fs::rename(theirs, h.logFile());
    add();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (std::unique_lock lock(mutex); !stalled && std::chrono::steady_clock::now() < deadline;) {
        lock.unlock();
        queue.queue.waitAndRun(0.05);
        lock.lock();
    }
    const auto asked = std::chrono::steady_clock::now();
    store->stopLoading();
    store->drain();
    store.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, quitBound);
    queue.closed = true;
    const std::size_t logged = said.lines.size();
    {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    while (!copies.expired() && std::chrono::steady_clock::now() < deadline + std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(copies.expired());
    EXPECT_EQ(queue.late, 0);
    EXPECT_EQ(said.lines.size(), logged);
    expectEachOnce(h.logFile(), mine);
}

// A quit just after this run's last lines were cut off the file, or a sync tool's copy
// without them renamed over it, while the read of the change goes slowly (as on a loaded
// machine): the quit waits for no such read, every event of the run is in the file once,
// and the quit ends within 3 s. Work of the app's own between the stop and the drain (a
// chapter written) spends none of that, and the log is not said not to answer.
TEST(TroupeLogQuit, LinesCutJustBeforeAQuitComeBackOnce) {
    enum What { cutShort, copyWithoutThem, cutShortThenWorkBeforeTheDrain };
    for (const What what : {cutShort, copyWithoutThem, cutShortThenWorkBeforeTheDrain}) {
        SCOPED_TRACE(what);
        TroupeHarness h;
        testing::CapturedLog log;
        std::mutex mutex;
        std::condition_variable changed;
        bool armed = false;
        bool slowed = false;  // the first read from the start once armed: the change's
        auto store = std::make_unique<TroupeStore>(
            TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
            [&](int fd, void* buffer, std::size_t size, off_t offset) {
                std::unique_lock lock(mutex);
                if (armed && offset == 0 && !slowed) {
                    slowed = true;
                    changed.notify_all();
                    changed.wait_for(lock, std::chrono::milliseconds(3000), [&] { return !armed; });
                }
                lock.unlock();
                return ::pread(fd, buffer, size, offset);
            });
        store->waitUntilLoaded();
        const auto mine = appendMine(*store, h, 300);
        ASSERT_TRUE(store->drain());
        const std::string text = testing::readFile(h.logFile());
        const auto lastFive = text.find(encodeTroupeEventLine(mine[mine.size() - 5]));
        {
            std::lock_guard lock(mutex);
            armed = true;
        }
        if (what == cutShort)
            fs::resize_file(h.logFile(), lastFive);
        else
            testing::renameOver(h.logFile(), text.substr(0, lastFive));
        ASSERT_TRUE(testing::pumpUntil(h.mainQueue, [&] {
            std::lock_guard lock(mutex);
            return slowed;
        }));
        auto asked = Steady::now();
        store->stopLoading();
        store->markSessionEnd(h.clock.now());
        if (what == cutShortThenWorkBeforeTheDrain) {
            std::this_thread::sleep_for(std::chrono::seconds(3));  // the app's, not a wait for the store
            asked = Steady::now();
        }
        store->drain();
        store.reset();
        EXPECT_LT(Steady::now() - asked, quitBound);
        EXPECT_EQ(log.count("did not answer"), 0);
        EXPECT_EQ(log.count("does not answer"), 0);
        {
            std::lock_guard lock(mutex);
            armed = false;
            changed.notify_all();
        }
        expectEachOnce(h.logFile(), mine);
    }
}

// This run's own copy of its lines cut short, holding zeros, or with one entry that lacks
// its newline (another program, a full temporary folder): nothing throws out of the writer,
// one log line says so, and the quit finds every line of the run in the log by its id. One
// bad entry costs only itself: the lines beside it that the log lacks at the quit (written
// over in place just before it) are put back from the copy.
TEST(TroupeLogQuit, ThisRunsOwnCopyCutShortLosesNothing) {
    enum Damage { cutShort, cutShortThenAHole, oneEntryWithoutItsNewline };
    for (const Damage damage : {cutShort, cutShortThenAHole, oneEntryWithoutItsNewline}) {
        SCOPED_TRACE(damage);
        TroupeHarness h;
        testing::CapturedLog log;
        auto store = h.open();
        auto mine = appendMine(*store, h, 20);
        ASSERT_TRUE(store->drain());
        const int copy = testing::ownCopyStartingWith(encodeTroupeEventLine(mine[0]));
        ASSERT_GE(copy, 0);
        if (damage == oneEntryWithoutItsNewline) {
            std::uint64_t newline = 0;
            for (std::size_t i = 0; i <= 10; ++i) newline += encodeTroupeEventLine(mine[i]).size() + 1;
            ASSERT_EQ(::pwrite(copy, " ", 1, static_cast<off_t>(newline - 1)), 1);
            const int file = ::open(h.logFile().c_str(), O_RDONLY | O_CLOEXEC);
            std::set<Uuid> lastFive;
            for (std::size_t i = 15; i < 20; ++i) lastFive.insert(mine[i].id);
            for (int i = 0; i < 5; ++i)
                ASSERT_TRUE(testing::writeOverLineOf(file, lastFive,
                                                     testing::event(TroupeMilestoneEarned{""}, i), 0));
            ::close(file);
        } else {
            ASSERT_EQ(::ftruncate(copy, 0), 0);
            if (damage == cutShortThenAHole)
                mine.push_back(appendMine(*store, h, 1).front());  // past the end
            testing::appendAsAnotherProgram(h.logFile(), othersLine(h.clock.now().seconds));
            ASSERT_TRUE(store->drain());  // this run's lines read back
        }
        store->stopLoading();
        store->markSessionEnd(h.clock.now());
        store->drain();
        store.reset();
        expectEachOnce(h.logFile(), mine);
        EXPECT_EQ(
            log.count(damage == cutShort ? "own copy (it ends early)" : "own copy (it holds other bytes)"),
            1);
    }
}

// The log's mount stops answering (a FUSE daemon stopped, a hung network mount): a write
// never returns. The quit ends within 3 s all the same, and says what could not be written.
TEST(TroupeLogQuit, AQuitEndsInTimeOnAMountThatHangs) {
    const std::string said = testing::inChild(
        [] {
            TroupeHarness h;
            testing::CapturedLog log;
            std::atomic<bool> hung = false;
            const WriteFunction write = [&](int fd, const void* bytes, std::size_t size) -> ssize_t {
                while (hung) ::pause();
                return ::write(fd, bytes, size);
            };
            auto store = std::make_unique<TroupeStore>(TroupeStore::defaultDirectory(), h.defaults, h.clock,
                                                       h.mainQueue, h.notifications,
                                                       TroupeLogReadControl::ReadFunction{}, write);
            store->waitUntilLoaded();
            appendMine(*store, h, 3);
            if (!store->drain()) return std::string("not drained");
            hung = true;
            appendMine(*store, h, 2);
            const auto asked = Steady::now();
            store->stopLoading();
            store->markSessionEnd(h.clock.now());
            store->drain();
            store.reset();  // its end waits no longer than its quit
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - asked);
            std::string lost;
            for (const auto& line : log.lines)
                if (line.find("could not be written") != std::string::npos) lost += line;
            return std::to_string(took.count()) + " ms: " + lost;
        },
        std::chrono::seconds(20));
    ASSERT_NE(said, "hung");
    const auto ms = std::stol(said);
    EXPECT_LT(ms, std::chrono::milliseconds(quitBound).count()) << said;
    EXPECT_NE(said.find("2 accepted troupe events could not be written and are lost"), std::string::npos)
        << said;
}

// This run's lines kept on this machine: a quit that reads every line back from the log deletes
// the kept file; one that finds lines cut off the log and cannot scan it in time (reads off the
// writer's thread held) appends nothing unscanned: they stay kept, said, and the next start
// writes them once.
TEST(TroupeLogQuit, WhatAQuitCannotSeeInTheLogStaysKept) {
    for (const bool readBack : {true, false}) {
        SCOPED_TRACE(readBack);
        TroupeHarness h;
        testing::CapturedLog log;
        std::mutex mutex;
        std::condition_variable released;
        bool held = false;
        std::atomic<std::thread::id> writer;
        const auto hold = [&](bool on) {
            std::lock_guard lock(mutex);
            held = on;
            released.notify_all();
        };
        auto store = std::make_unique<TroupeStore>(
            TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
            [&](int fd, void* buffer, std::size_t size, off_t offset) {
                std::unique_lock lock(mutex);
                released.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return !held || std::this_thread::get_id() == writer.load(); });
                return ::pread(fd, buffer, size, offset);
            },
            [&](int fd, const void* bytes, std::size_t size) {
                writer = std::this_thread::get_id();
                return ::write(fd, bytes, size);
            },
            h.keepFolder());
        store->waitUntilLoaded();
        const auto mine = appendMine(*store, h, 10);
        ASSERT_TRUE(store->drain());
        if (!readBack) {
            hold(true);
            const std::string text = testing::readFile(h.logFile());
            fs::resize_file(h.logFile(), text.find(encodeTroupeEventLine(mine[5])));
        }
        const auto asked = Steady::now();
        store->stopLoading();
        store->drain();
        store.reset();
        EXPECT_LT(Steady::now() - asked, quitBound);
        hold(false);
        EXPECT_EQ(log.count("some perhaps twice"), 0);
        EXPECT_EQ(log.count("10 troupe events of this run stay kept in"), readBack ? 0 : 1);
        EXPECT_EQ(h.keptFiles().size(), readBack ? 0u : 1u);
        if (readBack) continue;
        EXPECT_NE(testing::notEachOnce(h.logFile(), mine), "");
        h.open(h.keepFolder())->drain();
        expectEachOnce(h.logFile(), mine);
        EXPECT_EQ(log.count("Wrote 5 troupe events kept on this machine"), 1);
    }
}

}  // namespace
}  // namespace tw
