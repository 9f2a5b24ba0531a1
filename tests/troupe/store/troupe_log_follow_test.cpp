// Following what other programs do to the log while the app runs, at a cost in proportion
// to what changed: another device's lines read alone, a sync tool's metadata and touches
// read not at all, a write in place over this run's lines found while writes go on, and
// another program's line in pieces never split by ours.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/troupe/store/troupe_counted_store.h"
#include "tests/troupe/store/troupe_fuse_mount.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_held_file.h"
#include "troupe/store/troupe_log_net.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::appendAsAnotherProgram;
using testing::CountedStore;
using testing::fileSize;
using testing::Fuse;
using testing::FuseMount;
using testing::othersLine;
using testing::pumpUntil;
using testing::TroupeHarness;
using testing::WriteFunction;
using Steady = std::chrono::steady_clock;

// Another device's lines appended to the log are read alone from where they start (to be
// folded, and hashed), the first after the load as every later one, whether this run wrote
// before them or not.
TEST(TroupeLogFollow, AnotherDevicesAppendIsReadAlone) {
    for (const bool oursFirst : {true, false}) {
        SCOPED_TRACE(oursFirst);
        CountedStore s(2000);
        if (oursFirst) s.mine("mine");
        ASSERT_TRUE(s.store->drain());
        for (int i = 0; i < 2; ++i) {
            const auto size = static_cast<off_t>(fileSize(s.h.logFile()));
            s.count();
            const std::string theirs = othersLine(s.h.clock.now().seconds, "theirs" + std::to_string(i));
            appendAsAnotherProgram(s.h.logFile(), theirs);
            // Folded, and hashed for the net: the writer hashes the lines after it hands them
            // on, so the reads are counted once both are done, not once the troupe shows them.
            const std::size_t foldedAndHashed = 2 * theirs.size();
            EXPECT_TRUE(pumpUntil(s.h.mainQueue, [&] {
                return s.holds("theirs" + std::to_string(i)) && s.asked >= foldedAndHashed;
            }));
            EXPECT_EQ(s.lowest, size);
            EXPECT_EQ(s.asked, foldedAndHashed);
        }
    }
}

// What sync tools and backups do to the log's metadata costs one comparison of its bytes
// (a drain's), no read of it again: an extended attribute set, a chmod to the same mode, a
// hard link made, a touch. A write in place of the same length is read again, and the
// snapshot follows it: alone, with lines appended in the same open (the bytes before the
// old end still read back), or with its modification time put back (its change time alone
// moves), found by a drain or, with no drain, on the store's clock's next minute.
TEST(TroupeLogFollow, MetadataAndTouchesCostOneComparisonNoReadAgain) {
    enum What { xattr, chmod, hardLink, touch, writeInPlace, andAppend, timeKept, timeKeptOnTheMinute };
    for (const What what :
         {xattr, chmod, hardLink, touch, writeInPlace, andAppend, timeKept, timeKeptOnTheMinute}) {
        SCOPED_TRACE(what);
        CountedStore s(500);
        s.mine("mine");
        ASSERT_TRUE(s.store->drain());
        s.count();
        const fs::path log = s.h.logFile();
        if (what == xattr && ::setxattr(log.c_str(), "user.tw", "1", 1, 0) != 0) continue;  // none here
        if (what == chmod) ::chmod(log.c_str(), 0600);
        if (what == hardLink) fs::create_hard_link(log, log.string() + ".bak");
        if (what == touch) ::utimensat(AT_FDCWD, log.c_str(), nullptr, 0);
        const bool inPlace = what >= writeInPlace;
        if (inPlace)
            testing::writeOverOld(log, 7, what >= timeKept,
                                  what == andAppend ? othersLine(s.h.clock.now().seconds, "theirs") : "");
        if (what == timeKeptOnTheMinute)
            s.h.clock.advance(61);
        else
            ASSERT_TRUE(s.store->drain());
        if (inPlace) {
            EXPECT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.holds("new7"); }));
            EXPECT_EQ(s.store->snapshot(), s.h.open()->snapshot());
        } else {
            s.h.mainQueue.runPending();
            EXPECT_LE(s.asked, fileSize(log));
        }
    }
}

// A sync tool touching the log every quarter second reads a share of it a minute at most: none
// of it within seconds of the load. This run's own lines, drained one by one over minutes
// of the store's clock, read back only themselves.
TEST(TroupeLogFollow, TouchesReadTheLogOnceAMinuteAtMost) {
    const auto readSoFar = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        for (std::uint64_t value = 0; io >> key >> value;)
            if (key == "rchar:") return value;
        return std::uint64_t{0};
    };
    for (const bool ours : {false, true}) {
        SCOPED_TRACE(ours);
        CountedStore s(20000);
        s.mine("mine");
        ASSERT_TRUE(s.store->drain());
        const std::uint64_t before = readSoFar();
        for (int i = 0; i < 24; ++i) {
            if (ours) {
                s.mine("mine" + std::to_string(i));
                ASSERT_TRUE(s.store->drain());
                s.h.clock.advance(20);
            } else {
                ::utimensat(AT_FDCWD, s.h.logFile().c_str(), nullptr, 0);
            }
            s.h.mainQueue.waitAndRun(0.25);
        }
        EXPECT_LT(readSoFar() - before, fileSize(s.h.logFile()) / 4);
    }
}

// Another program writes over a line of ours and appends two lines in the same open where
// nothing tells of it: inotify cannot be had, or another machine changes the file beneath
// a FUSE mount, which the descriptor held open does not see; there also with nothing
// appended, the size the same. The line is back within 10 s while the app sits idle, the
// snapshot is what a fresh load folds, and after the quit every event of the run is in
// the file once.
TEST(TroupeLogFollow, ALineOfOursWrittenOverIsPutBackWhereNothingTells) {
    const struct {
        const char* name;
        std::optional<Fuse> beneath;
        bool append;
    } rows[] = {{"inotify refused", std::nullopt, true},
                {"bindfs", Fuse::bindfs, true},
                {"bindfs, the size the same", Fuse::bindfs, false}};
    std::string skipped;
    for (const auto& [name, beneath, append] : rows) {
        SCOPED_TRACE(name);
        const std::string said = testing::inChild(
            [&] {
                TroupeHarness h;
                fs::path folder = TroupeStore::defaultDirectory();
                const fs::path below = h.xdg.root() / "below";
                std::optional<FuseMount> mount;
                if (beneath) {
                    mount.emplace(*beneath, below, h.xdg.root() / "mount");
                    if (!mount->mounted) return testing::cannotMount(name);
                    folder = mount->at / "Troupe";
                } else if (!testing::refuseInotify()) {
                    return std::string("skipped: inotify cannot be refused here");
                }
                const auto open = [&] {
                    auto store = std::make_unique<TroupeStore>(folder, h.defaults, h.clock, h.mainQueue,
                                                               h.notifications);
                    store->waitUntilLoaded();
                    return store;
                };
                auto store = open();
                std::vector<TroupeEvent> mine;
                std::set<Uuid> ids;
                for (int i = 0; i < 20; ++i) {
                    mine.push_back(std::get<TroupeEvent>(
                        store->appendKind(TroupeEventKind::milestoneEarned,
                                          TroupeMilestoneEarned{"m" + std::to_string(i)}, h.clock.now())));
                    ids.insert(mine.back().id);
                }
                if (!store->drain()) return std::string("not drained");
                const fs::path log = (beneath ? below / "Troupe" : folder) / TroupeStore::logFileName;
                const int fd = ::open(log.c_str(), O_RDWR | O_CLOEXEC);
                const auto over =
                    testing::writeOverLineOf(fd, ids, testing::event(TroupeMilestoneEarned{""}, 0), 7);
                ::lseek(fd, 0, SEEK_END);
                if (append)
                    testing::writeAll(
                        fd, othersLine(h.clock.now().seconds, "a") + othersLine(h.clock.now().seconds, "b"));
                ::close(fd);
                if (!over) return std::string("nothing written over");
                const bool back = pumpUntil(h.mainQueue, [&] {
                    h.clock.advance(0.02);  // the read-back's clock, at the pace of the wait
                    return testing::troupeLogStateOf(testing::readFile(log)).ids.contains(*over) &&
                           (!append || store->snapshot().milestonesEarned.contains("b"));
                });
                h.mainQueue.runPending();
                if (!back) return std::string("not back within 10 s");
                if (!(store->snapshot() == open()->snapshot())) return std::string("snapshots differ");
                store->stopLoading();
                store->drain();
                store.reset();
                testing::expectEachOnce(log, mine);
                return std::string(::testing::Test::HasFailure() ? "not each once" : "ok");
            },
            std::chrono::seconds(30));
        if (said.starts_with("skipped"))
            skipped += said + "; ";
        else
            EXPECT_EQ(said, "ok");
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// Beneath sshfs, whose own cache answers a stat for 20 s, another machine's lines reach a
// store idle since its load within about 2 s, as on other mounts.
TEST(TroupeLogFollow, AnotherMachinesLinesBeneathSshfsAreSeenWithinSeconds) {
    const std::string said = testing::inChild(
        [] {
            TroupeHarness h;
            const fs::path below = h.xdg.root() / "below";
            const FuseMount mount(Fuse::sshfs, below, h.xdg.root() / "mount");
            if (!mount.mounted) return testing::cannotMount("sshfs");
            fs::create_directories(below / "Troupe");
            const fs::path log = below / "Troupe" / TroupeStore::logFileName;
            std::ofstream(log) << othersLine(h.clock.now().seconds, "before");
            TroupeStore store(mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications);
            store.waitUntilLoaded();
            // Once the store holds the log open: what sshfs was told then it keeps for 20 s.
            const fs::path held = mount.at / "Troupe" / TroupeStore::logFileName;
            if (!pumpUntil(h.mainQueue, [&] {
                    std::error_code error;
                    for (const auto& fd : fs::directory_iterator("/proc/self/fd"))
                        if (fs::read_symlink(fd.path(), error) == held) return true;
                    return false;
                }))
                return std::string("the log never held open");
            appendAsAnotherProgram(log, othersLine(h.clock.now().seconds, "after"));
            const auto asked = Steady::now();
            if (!pumpUntil(h.mainQueue, [&] { return store.snapshot().milestonesEarned.contains("after"); }))
                return std::string("not seen within 10 s");
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - asked);
            return took < std::chrono::seconds(6) ? std::string("ok")
                                                  : "seen after " + std::to_string(took.count()) + " ms";
        },
        std::chrono::seconds(30));
    if (said.starts_with("skipped")) GTEST_SKIP() << said;
    EXPECT_EQ(said, "ok");
}

// While this run keeps writing, another program writes over a line of ours so that neither
// size nor time tells: an earlier line just before a write of ours, found by the read-back
// once its clock allows, and the line just written, in the instant after its write, a change
// at once (back after a few lines, the writer's clock far short of the read-back's). No
// drain looks for either.
TEST(TroupeLogFollow, ALineOfOursWrittenOverIsFoundWhileWritesGoOn) {
    for (const bool justWritten : {false, true}) {
        SCOPED_TRACE(justWritten);
        std::optional<Uuid> earlier;
        std::atomic<bool> armed = false;
        CountedStore s(0, [&](int fd, const void* bytes, std::size_t size) -> ssize_t {
            const std::string_view text(static_cast<const char*>(bytes), size);
            const bool now = text.find("go on 0") != std::string_view::npos && armed.exchange(false);
            if (now && !justWritten)
                testing::writeOverLineOf(fd, {*earlier}, testing::event(TroupeMilestoneEarned{""}, 0), 0);
            const off_t at = ::lseek(fd, 0, SEEK_END);
            const ssize_t written = ::write(fd, bytes, size);
            if (now && justWritten) {
                const std::string junk(size - 1, 'x');
                const int other =
                    ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_CLOEXEC);
                EXPECT_EQ(::pwrite(other, junk.data(), junk.size(), at), static_cast<ssize_t>(junk.size()));
                ::close(other);
            }
            return written;
        });
        const TroupeEvent first = s.mine("over");
        earlier = first.id;
        ASSERT_TRUE(s.store->drain());  // this run's lines were just read back
        armed = true;
        std::string line = encodeTroupeEventLine(first);
        // A line a tenth of a second of the writer's clock, each written before the next: four
        // keep the clock far short of the read-back, which would find it readBackEvery after
        // the drain's; the earlier one's last line is past it.
        const int lines = justWritten ? 4 : static_cast<int>(TroupeLogNet::readBackEvery.count()) * 10 + 5;
        const auto holds = [&](const std::string& text) {
            return testing::readFile(s.h.logFile()).find(text) != std::string::npos;
        };
        for (int i = 0; i < lines; ++i) {
            const TroupeEvent next = s.mine("go on " + std::to_string(i));
            if (i == 0 && justWritten) line = encodeTroupeEventLine(next);
            s.h.clock.advance(0.1);
            ASSERT_TRUE(
                pumpUntil(s.h.mainQueue, [&] { return holds("\"go on " + std::to_string(i) + "\""); }));
        }
        // The clock stands still from here.
        const bool back = pumpUntil(s.h.mainQueue, [&] { return holds(line); });
        EXPECT_TRUE(back);
    }
}

// Another program writes a line in two pieces, 10 ms or a tenth of the wait for them apart,
// while this run appends: ours waits for its end, and every line stays whole. One it left
// unfinished a while ago holds a quit only briefly.
TEST(TroupeLogFollow, AnotherProgramsLineInPiecesIsNotSplit) {
    using Held = TroupeLogHeldFile;
    const int tenth = static_cast<int>(Held::tornLineWait.count() / 10);
    for (const int gap : {10, tenth, -1}) {  // -1: never ended, the app quits
        SCOPED_TRACE(gap);
        CountedStore s;
        s.mine("first");
        ASSERT_TRUE(s.store->drain());
        const std::string theirs = othersLine(s.h.clock.now().seconds);
        const int fd = ::open(s.h.logFile().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        testing::writeAll(fd, std::string_view(theirs).substr(0, theirs.size() / 2));
        const TroupeEvent mine = s.mine("second");
        if (gap < 0) {
            // Written as long ago as a quit waits for such a piece, well within a run's wait:
            // the quit ends the line at once, where the run's wait would hold it until the
            // piece is tornLineWait old, 1.5 s on. The quit's own work takes a few ms even on
            // busy cores: the bound leaves it a hundred times that, and stays below the 1.5 s.
            const auto then = std::chrono::system_clock::now() - Held::tornLineWaitQuitting;
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(then.time_since_epoch());
            const timespec times[2] = {{0, UTIME_OMIT}, {ns.count() / 1000000000, ns.count() % 1000000000}};
            ASSERT_EQ(::futimens(fd, times), 0);
            ::close(fd);
            const auto asked = Steady::now();
            s.store->stopLoading();
            s.store->drain();
            s.store.reset();
            EXPECT_LT(Steady::now() - asked, (Held::tornLineWait - Held::tornLineWaitQuitting) * 2 / 3);
            EXPECT_NE(
                testing::readFile(s.h.logFile())
                    .find(theirs.substr(0, theirs.size() / 2) + "\n" + encodeTroupeEventLine(mine) + "\n"),
                std::string::npos);
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(gap));  // the other program's own pace
        testing::writeAll(fd, std::string_view(theirs).substr(theirs.size() / 2));
        ::close(fd);
        ASSERT_TRUE(s.store->drain());
        const std::string text = testing::readFile(s.h.logFile());
        EXPECT_NE(text.find(theirs), std::string::npos) << text;
        EXPECT_NE(text.find(encodeTroupeEventLine(mine) + "\n"), std::string::npos) << text;
        EXPECT_TRUE(pumpUntil(s.h.mainQueue, [&] { return s.holds("theirs"); }));
    }
}

// A file renamed over the log while the read of the one before it goes on: what that read
// found missing is not put back into the new file, which holds it (a sync tool's second
// save, with every line); the new file is read in turn, and every line is there once.
TEST(TroupeLogFollow, WhatAReadFoundMissingIsNotPutBackAfterTheFileChanged) {
    TroupeHarness h;
    std::mutex mutex;
    std::condition_variable changed;
    ino_t stallOn = 0;
    bool stalled = false;
    auto store = std::make_unique<TroupeStore>(
        TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
        [&](int fd, void* buffer, std::size_t size, off_t offset) {
            struct stat info {};
            std::unique_lock lock(mutex);
            if (stallOn != 0 && ::fstat(fd, &info) == 0 && info.st_ino == stallOn) {
                stalled = true;
                changed.notify_all();
                changed.wait_for(lock, std::chrono::seconds(10), [&] { return stallOn == 0; });
            }
            lock.unlock();
            return ::pread(fd, buffer, size, offset);
        });
    store->waitUntilLoaded();
    const auto first = std::get<TroupeEvent>(
        store->appendKind(TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"first"}, h.clock.now()));
    ASSERT_TRUE(store->drain());
    const std::string whole = testing::readFile(h.logFile());
    const fs::path lacking = h.logFile().string() + ".lacking";
    std::ofstream(lacking) << othersLine(h.clock.now().seconds);
    struct stat info {};
    ASSERT_EQ(::stat(lacking.c_str(), &info), 0);
    {
        std::lock_guard lock(mutex);
        stallOn = info.st_ino;
    }
    fs::rename(lacking, h.logFile());
    ASSERT_TRUE(pumpUntil(h.mainQueue, [&] {
        std::lock_guard lock(mutex);
        return stalled;
    }));
    testing::renameOver(h.logFile(), whole + othersLine(h.clock.now().seconds));
    const auto second = std::get<TroupeEvent>(
        store->appendKind(TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"second"}, h.clock.now()));
    const std::string secondLine = encodeTroupeEventLine(second);
    ASSERT_TRUE(pumpUntil(h.mainQueue, [&] {  // the writer is on the new file
        return testing::readFile(h.logFile()).find(secondLine) != std::string::npos;
    }));
    {
        std::lock_guard lock(mutex);
        stallOn = 0;
        changed.notify_all();
    }
    ASSERT_TRUE(store->drain());
    testing::expectEachOnce(h.logFile(), {first, second});
    EXPECT_EQ(store->snapshot(), h.open()->snapshot());
}

}  // namespace
}  // namespace tw
