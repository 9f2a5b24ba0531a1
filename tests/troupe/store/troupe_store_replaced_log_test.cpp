// Another file put at the log's path under the running store, or the file held there
// dead: what this run wrote reaches the file at the path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/troupe/store/troupe_fuse_mount.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_reader.h"
#include "troupe/store/troupe_store.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::event;
using testing::expectEachOnce;
using testing::othersLine;
using testing::RecordingSink;
using testing::TroupeHarness;
using testing::WriteFunction;
using Steady = std::chrono::steady_clock;

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
        ino_t gated = 0;  // reads of this file wait until opened
        bool reading = false;
        testing::CapturedLog said;
        auto read = [&](int fd, void* buffer, std::size_t size, off_t offset) -> ssize_t {
            struct stat info {};
            std::unique_lock lock(mutex);
            if (gated != 0 && ::fstat(fd, &info) == 0 && info.st_ino == gated) {
                reading = true;
                changed.notify_all();
                changed.wait(lock, [&] { return gated == 0; });
            }
            return ::pread(fd, buffer, size, offset);
        };
        const auto open = [&](ino_t file = 0) {
            std::lock_guard lock(mutex);
            gated = file;
            changed.notify_all();
        };
        // Holds the reads of `file` until opened. A file, not a size: the loader reads only a
        // file left alone for a moment, so which re-read a size would hold depends on how
        // soon the next file is renamed over it.
        const auto hold = [&](const fs::path& file) {
            struct stat info {};
            ASSERT_EQ(::stat(file.c_str(), &info), 0);
            open(info.st_ino);
        };
        // Until the held re-read started (the writer saw the file and the loader reads it).
        const auto held = [&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (std::unique_lock lock(mutex); !reading && std::chrono::steady_clock::now() < deadline;) {
                lock.unlock();
                h.mainQueue.waitAndRun(0.05);
                lock.lock();
            }
            std::lock_guard lock(mutex);
            return reading;
        };
        TroupeStore store(TroupeStore::defaultDirectory(), h.defaults, h.clock, h.mainQueue, h.notifications,
                          read);
        // Opened before the store goes, whatever ends the case.
        const struct OpenAtTheEnd {
            std::function<void()> open;
            ~OpenAtTheEnd() { open(); }
        } openAtTheEnd{[&] { open(); }};
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
        // A large file, and a small one, before the copy: the large one's re-read is held,
        // and each later one's, waiting behind that, is overtaken by the next.
        for (int lines = 100; when >= quitAfterTwoReplacements && lines > 0;
             lines = when == quitAfterThreeReplacements && lines > 1 ? 1 : 0) {
            const fs::path theirs = h.logFile().string() + ".theirs";
            std::ofstream file(theirs);
            for (int i = 0; i < lines; ++i)
                file << encodeTroupeEventLine(event(TroupeMilestoneEarned{"theirs"}, now + 3600 + i)) << '\n';
            file.close();
            if (lines == 100) hold(theirs);
            fs::rename(theirs, h.logFile());
            for (const char* id : {"on a file replaced", "after its cut"}) {
                kept.push_back(mine(id));
                landed(kept.back());  // a re-read is asked for, then its cut is taken
            }
            ASSERT_TRUE(lines != 100 || held());
        }
        if (when == duringASlowReread || when == quitDuringASlowReread) hold(copy);
        fs::rename(copy, h.logFile());
        // Before the settled events in one row: a refold is asked for too.
        kept.push_back(mine("after", when == copiedBeforeALine ? 600 : 0));
        if (when >= quitAfterTwoReplacements) landed(kept.back());
        ASSERT_TRUE(when < duringASlowReread || held());
        if (when >= quitDuringASlowReread) store.stopLoading();
        if (when == duringASlowReread) {
            kept.push_back(mine("meanwhile"));
            landed(kept.back());
        }
        open();
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

// The log beneath a FUSE mount, as a network share is seen, while this run writes five lines
// a second: another machine saves it on its side (the lines it has, and one of its own, in a
// file renamed over the log), once or every few lines, where the mount's inode numbers may
// follow the name and not the file, or its attributes those of the file now at the path;
// also behind a queue of lines accepted at once (as at a start), and with slow writes; or,
// where the sizes a stat reports lag a second behind, another device appends its lines. Every
// line of this run is in the log once, the other lines are folded, the snapshot is what a
// fresh load folds, and no write reached a file renamed away (the passthrough's own log).
TEST(TroupeStore, AnotherMachinesSavesBeneathAMountLoseAndDoubleNothing) {
    using testing::Fuse;
    // A cloud client: attributes by path, each write a round trip that long.
    const auto cloud = [](double writeSeconds) {
        testing::PassthroughOptions options;
        options.byPath = true;
        options.writeDelaySeconds = writeSeconds;
        return options;
    };
    const struct {
        const char* name;
        Fuse mount;
        int saveEvery;    // a save after the third line of ours and every that many (0: none; 99: one)
        int appendEvery;  // lines of ours between two of another device's appends (0: none)
        int queued = 0;   // lines accepted at once before the first one typed
        testing::PassthroughOptions options = {};
        int dropOldest = 0;  // lines a save leaves out from the log's start (another device's)
    } rows[] = {
        {"passthrough, one save", Fuse::passthrough, 99, 0},
        {"passthrough, a save every 5 lines", Fuse::passthrough, 5, 0},
        {"sshfs, one save", Fuse::sshfs, 99, 0},
        {"sshfs, a save every 5 lines", Fuse::sshfs, 5, 0},
        {"sizes a second late, another device's lines", Fuse::laggingPassthrough, 0, 5},
        {"by path, writes of 5 ms, 1,000 lines queued, a save every 2 lines", Fuse::passthrough, 2, 0, 1000,
         cloud(0.005)},
        {"by path, writes of 50 ms, 100 lines queued, a save every 10 lines", Fuse::passthrough, 10, 0, 100,
         cloud(0.05)},
        {"sizes a second late, saves that drop the oldest lines", Fuse::laggingPassthrough, 5, 0, 0, {}, 3}};
    std::string skipped;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string said = testing::inChild(
            [&] {
                testing::CapturedLog logged;
                TroupeHarness h;
                const fs::path below = h.xdg.root() / "below";
                testing::PassthroughOptions options = row.options;
                if (row.mount != Fuse::sshfs) options.writeLog = h.xdg.root() / "writes.log";
                const testing::FuseMount mount(row.mount, below, h.xdg.root() / "mount", options);
                if (!mount.mounted) return testing::cannotMount(row.name);
                const fs::path log = below / "Troupe" / TroupeStore::logFileName;
                fs::create_directories(log.parent_path());
                std::set<std::string> theirs{"before"};
                {
                    std::ofstream seeded(log);
                    seeded << othersLine(h.clock.now().seconds, "before");
                    for (int i = 1; i <= 10 * row.dropOldest; ++i) {
                        seeded << othersLine(h.clock.now().seconds, "o" + std::to_string(i));
                        theirs.insert("o" + std::to_string(i));
                    }
                }
                // Kept on this machine as the app keeps them: a quit that cannot wait for a
                // slow mount leaves the rest to the next start.
                const auto open = [&] {
                    return std::make_unique<TroupeStore>(
                        mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications,
                        TroupeLogReadControl::ReadFunction{}, nullptr, h.keepFolder());
                };
                auto store = open();
                store->waitUntilLoaded();
                std::vector<TroupeEvent> mine;
                const auto add = [&](const std::string& id) {
                    mine.push_back(std::get<TroupeEvent>(store->appendKind(
                        TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{id}, h.clock.now())));
                };
                for (int i = 1; i <= row.queued; ++i) add("q" + std::to_string(i));
                int saves = 0;
                // Typing at five keys a second, the other side's change halfway between two
                // keys: where the writer had no queue, the line typed is written by then. The
                // store's clock keeps pace, as its waits for a lagging size run on it.
                const auto typing = [&] {
                    for (const auto until = Steady::now() + std::chrono::milliseconds(100);
                         Steady::now() < until;)
                        h.mainQueue.waitAndRun(0.02);
                    h.clock.advance(0.1);
                };
                for (int i = 1; i <= 25; ++i) {
                    add("m" + std::to_string(i));
                    typing();
                    const std::string other = "t" + std::to_string(i);
                    if (row.saveEvery > 0 && (i == 3 || i % row.saveEvery == 0)) {
                        const fs::path copy = log.string() + ".saving";
                        std::string kept = testing::readFile(log);
                        for (int k = 0; k < row.dropOldest; ++k) kept.erase(0, kept.find('\n') + 1);
                        std::erase_if(theirs, [&](const std::string& id) {
                            return kept.find("\"" + id + "\"") == std::string::npos;
                        });
                        std::ofstream(copy) << kept << othersLine(h.clock.now().seconds, other);
                        fs::rename(copy, log);
                        theirs.insert(other);
                        ++saves;
                    }
                    if (row.appendEvery > 0 && i % row.appendEvery == 0) {
                        testing::appendAsAnotherProgram(log, othersLine(h.clock.now().seconds, other));
                        theirs.insert(other);
                    }
                    typing();
                }
                const bool folded = pumpUntil(h.mainQueue, [&] {
                    h.clock.advance(0.02);
                    const TroupeSnapshot snapshot = store->snapshot();
                    return store->drain() &&
                           std::all_of(theirs.begin(), theirs.end(), [&](const std::string& id) {
                               return snapshot.milestonesEarned.contains(id);
                           });
                });
                // Every fault of the row at once; a row before that failed shows in this
                // child's own verdict, so counted here instead.
                std::string wrong;
                const auto fault = [&](const std::string& what) {
                    if (!what.empty()) wrong += (wrong.empty() ? "" : "; ") + what;
                };
                if (!folded) {
                    const std::string text = testing::readFile(log);
                    std::string which;
                    for (const std::string& id : theirs)
                        if (!store->snapshot().milestonesEarned.contains(id))
                            which += " " + id +
                                     (text.find("\"" + id + "\"") == std::string::npos ? " (not in the file)"
                                                                                       : "");
                    fault("another machine's lines not all folded:" + which);
                }
                // Once a line of ours a save took is put back, as soon as it is seen gone.
                const bool same = pumpUntil(h.mainQueue, [&] {
                    h.clock.advance(0.02);
                    TroupeStore fresh(mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications);
                    fresh.waitUntilLoaded();
                    return store->snapshot() == fresh.snapshot();
                });
                if (!same) {
                    TroupeStore fresh(mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications);
                    fresh.waitUntilLoaded();
                    const auto loaded = fresh.snapshot().toJson();
                    std::string which;  // the keys that differ, with the counts
                    const auto running = store->snapshot().toJson();
                    for (const auto& [key, value] : running.items())
                        if (!loaded.contains(key) || loaded[key] != value)
                            which += " " + key +
                                     (value.is_number() ? " " + value.dump() + "/" + loaded[key].dump() : "");
                    fault("the running snapshot differs from a fresh load's:" + which);
                }
                store->stopLoading();
                store->drain();
                store.reset();
                open()->drain();  // the next start
                fault(testing::notEachOnce(log, mine));
                // A save between the look at the path and the write takes that one write (its
                // lines are put back): more than one a save is writing on into a file renamed away.
                if (const testing::WritesSeen writes = testing::writesSeen(options.writeLog);
                    writes.toUnlinkedFiles > saves)
                    fault("of " + std::to_string(writes.writes) + " writes " +
                          std::to_string(writes.toUnlinkedFiles) +
                          " reached a file renamed away, the first: " + writes.firstUnlinked);
                for (const std::string& line : logged.lines)
                    // A save that shortens the log under a lagging size: its bytes end before the size.
                    if ((line.find("Cannot") != std::string::npos &&
                         (row.dropOldest == 0 || line.find("ends before the") == std::string::npos)) ||
                        line.find("lost") != std::string::npos ||
                        (row.appendEvery > 0 && line.find("again that the file") != std::string::npos))
                        fault("said: " + line);
                if (!wrong.empty()) {
                    for (const std::string& line : logged.lines) wrong += "\n" + line;
                    return wrong;
                }
                return std::string("ok");
            },
            std::chrono::seconds(60));
        if (said.starts_with("skipped"))
            skipped += said + "; ";
        else
            EXPECT_EQ(said, "ok");
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

}  // namespace
}  // namespace tw
