// The troupe log beneath FUSE mounts as network and cloud clients give them: a store at rest
// rests, a save that keeps the log's size and times shows in its last bytes, and a line of
// ours past a size that lags is written again only once its bytes are read and are not it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/troupe/store/troupe_fuse_mount.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_path_watch.h"
#include "troupe/store/troupe_log_writer.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::Fuse;
using testing::FuseMount;
using testing::othersLine;
using testing::pumpUntil;
using testing::TroupeHarness;

// Another device's line as long as `line`.
std::string othersLineLike(const std::string& line, double ts) {
    const std::size_t bare = othersLine(ts, "").size();
    return othersLine(ts, std::string(line.size() > bare ? line.size() - bare : 1, 'o'));
}

// The size of `file` as its file system says now, not as this machine keeps it.
std::uint64_t sizeAfresh(const fs::path& file) {
    struct statx info {};
    return ::statx(AT_FDCWD, file.c_str(), AT_STATX_FORCE_SYNC, STATX_SIZE, &info) == 0 ? info.stx_size : 0;
}

// `below`/Troupe holding a log of `lines`, as a store beneath the mount finds it: the log's path.
fs::path logBeneath(const fs::path& below, const std::string& lines) {
    fs::create_directories(below / "Troupe");
    std::ofstream(below / "Troupe" / TroupeStore::logFileName) << lines;
    return below / "Troupe" / TroupeStore::logFileName;
}

// What `work` said in a child: "ok", or a failure, or a skip added to `skipped`.
void expectOk(const std::function<std::string()>& work, std::string& skipped) {
    const std::string said = testing::inChild(work, std::chrono::seconds(40));
    if (said.starts_with("skipped"))
        skipped += said + "; ";
    else
        EXPECT_EQ(said, "ok");
}

// At rest beneath a mount the store looks at the log's path every slowPoll, no more: neither
// a look's own open nor its close is a change that calls for another. Each line then written
// beneath a passthrough is checked by reading the bytes it needs (the last one before it, its
// own after it), not whole pages: sshfs sends each page over the network.
TEST(TroupeLogMount, AStoreRestsAndReadsOnlyTheBytesItChecks) {
    const struct {
        const char* name;
        Fuse mount;
    } rows[] = {{"bindfs", Fuse::bindfs}, {"passthrough", Fuse::passthrough}, {"sshfs", Fuse::sshfs}};
    std::string skipped;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        expectOk(
            [&] {
                TroupeHarness h;
                const fs::path below = h.xdg.root() / "below";
                testing::PassthroughOptions options;
                if (row.mount == Fuse::passthrough) options.writeLog = h.xdg.root() / "requests.log";
                const FuseMount mount(row.mount, below, h.xdg.root() / "mount", options);
                if (!mount.mounted) return testing::cannotMount(row.name);
                const fs::path log = logBeneath(below, othersLine(h.clock.now().seconds));
                TroupeStore store(mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications);
                store.waitUntilLoaded();
                const auto type = [&] {
                    const std::string line = encodeTroupeEventLine(std::get<TroupeEvent>(store.appendKind(
                        TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"mine"}, h.clock.now())));
                    return pumpUntil(h.mainQueue,
                                     [&] { return testing::readFile(log).find(line) != std::string::npos; });
                };
                if (!type() || !store.drain()) return std::string("not drained");
                // Each look opens the log's path, which the mount opens beneath (and closes: so
                // no two events in a row are the same, which inotify would tell as one).
                const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
                ::inotify_add_watch(watch, (below / "Troupe").c_str(), IN_OPEN | IN_CLOSE);
                const auto interval = TroupeLogPathWatch::slowPoll * 3;
                pumpUntil(
                    h.mainQueue, [] { return false; }, interval);
                int opens = 0;
                alignas(struct inotify_event) char buffer[4096];
                for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
                    for (ssize_t at = 0; at < got;) {
                        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                        opens += (event->mask & IN_OPEN) != 0 && event->len > 0 &&
                                 std::string(event->name) == TroupeStore::logFileName;
                        at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
                    }
                ::close(watch);
                // A look every slowPoll (one more at the interval's edges), and a read-back of
                // this run's lines at most.
                if (opens > interval / TroupeLogPathWatch::slowPoll + 2)
                    return std::to_string(opens) + " opens at rest";
                if (options.writeLog.empty()) return std::string("ok");
                const testing::WritesSeen before = testing::writesSeen(options.writeLog);
                for (int i = 0; i < 20; ++i)
                    if (!type()) return std::string("a line not written");
                const testing::WritesSeen after = testing::writesSeen(options.writeLog);
                const auto perWrite =
                    (after.bytesRead - before.bytesRead) /
                    static_cast<unsigned long long>(std::max(after.writes - before.writes, 1));
                return perWrite <= 1024 ? std::string("ok")
                                        : std::to_string(perWrite) + " bytes read a write";
            },
            skipped);
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// Beneath sshfs another machine saves the log by a rename, in the second of our last line,
// at the same size, our line's id changed: the name's inode, its size and its times (whole
// seconds) are as they were. Its last bytes tell: our line is back.
TEST(TroupeLogMount, ASaveKeepingSizeAndTimesShowsInTheLastBytes) {
    std::string skipped;
    expectOk(
        [] {
            TroupeHarness h;
            const fs::path below = h.xdg.root() / "below";
            const FuseMount mount(Fuse::sshfs, below, h.xdg.root() / "mount");
            if (!mount.mounted) return testing::cannotMount("sshfs");
            const fs::path log = logBeneath(below, othersLine(h.clock.now().seconds));
            TroupeStore store(mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications);
            store.waitUntilLoaded();
            const auto mine = std::get<TroupeEvent>(store.appendKind(
                TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{"mine"}, h.clock.now()));
            if (!store.drain()) return std::string("not drained");
            std::string text = testing::readFile(log);
            const std::string line = encodeTroupeEventLine(mine);
            if (text.find(line) == std::string::npos) return std::string("ours not written");
            const auto at = text.find("\"id\":\"", text.find(line)) + 6;
            text[at] = text[at] == '0' ? '1' : '0';
            struct stat before {};
            ::stat(log.c_str(), &before);
            const fs::path saved = log.string() + ".saving";
            std::ofstream(saved, std::ios::binary) << text;
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ::utimensat(AT_FDCWD, saved.c_str(), times, 0);
            fs::rename(saved, log);
            if (!pumpUntil(h.mainQueue,
                           [&] { return testing::readFile(log).find(line) != std::string::npos; }))
                return std::string("our line not back");
            return std::string("ok");
        },
        skipped);
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// Beneath a mount whose sizes lag a second, another device's line lands just before one of
// ours, which goes past the size told. However long the writer's clock runs meanwhile, the
// line is not written again while it is only late; it is, once, when its bytes are read and
// are not it (written over), up to where our next line was placed.
TEST(TroupeLogMount, ALineOfOursPastALaggingSizeIsWrittenAgainOnlyWhenGone) {
    std::string skipped;
    for (const bool writtenOver : {false, true}) {
        SCOPED_TRACE(writtenOver);
        expectOk(
            [&] {
                TroupeHarness h;
                const fs::path below = h.xdg.root() / "below";
                const FuseMount mount(Fuse::laggingPassthrough, below, h.xdg.root() / "mount");
                if (!mount.mounted) return testing::cannotMount("the lagging passthrough");
                const fs::path log = logBeneath(below, othersLine(h.clock.now().seconds, "before"));
                std::atomic<bool> armed = false;
                std::atomic<int> written = 0;
                TroupeStore store(
                    mount.at / "Troupe", h.defaults, h.clock, h.mainQueue, h.notifications, {},
                    [&](int fd, const void* bytes, std::size_t size) {
                        const bool now = armed.exchange(false);
                        if (now)
                            testing::appendAsAnotherProgram(log, othersLine(h.clock.now().seconds, "theirs"));
                        const ssize_t done = ::write(fd, bytes, size);
                        if (now && writtenOver) {
                            const std::string ours(static_cast<const char*>(bytes), size);
                            const std::string text = testing::readFile(log);
                            const std::string over = othersLineLike(ours, h.clock.now().seconds);
                            const int below = ::open(log.c_str(), O_WRONLY | O_CLOEXEC);
                            const auto at = text.rfind(ours);
                            EXPECT_NE(at, std::string::npos);
                            if (at != std::string::npos) {
                                EXPECT_EQ(::pwrite(below, over.data(), over.size(), static_cast<off_t>(at)),
                                          static_cast<ssize_t>(size));
                            }
                            ::close(below);
                        }
                        ++written;
                        return done;
                    });
                store.waitUntilLoaded();
                const auto mine = [&](const std::string& what) {
                    return std::get<TroupeEvent>(store.appendKind(
                        TroupeEventKind::milestoneEarned, TroupeMilestoneEarned{what}, h.clock.now()));
                };
                std::vector<TroupeEvent> ours{mine("first")};
                if (!store.drain()) return std::string("not drained");
                armed = true;
                ours.push_back(mine("late"));
                if (!pumpUntil(h.mainQueue, [&] { return written >= 2; }))
                    return std::string("never written");
                h.clock.advance(60);  // far past any patience a size could be given
                const fs::path seen = mount.at / "Troupe" / TroupeStore::logFileName;
                if (!pumpUntil(h.mainQueue, [&] { return sizeAfresh(seen) == fs::file_size(log); }))
                    return std::string("the size never caught up");
                ours.push_back(mine("next"));
                const std::string late = encodeTroupeEventLine(ours[1]);
                if (!pumpUntil(h.mainQueue, [&] {
                        store.drain();
                        return testing::readFile(log).find(late) != std::string::npos;
                    }))
                    return std::string("the late line never back");
                store.stopLoading();
                store.drain();
                testing::expectEachOnce(log, ours);
                return std::string(::testing::Test::HasFailure() ? "not each once" : "ok");
            },
            skipped);
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// The quit gives a line of ours past a lagging size 1 s of the writer's clock to come within
// reach (a second's lag here): one still unseen then is told apart, kept, not doubtful.
TEST(TroupeLogMount, TheQuitGivesALateLineASecondOfItsClock) {
    for (const double step : {0.02, 1.0}) {  // the clock's seconds a 50 ms
        SCOPED_TRACE(step);
        const std::string said = testing::inChild(
            [&] {
                testing::TemporaryXdg folder;
                const fs::path below = folder.root() / "below";
                const FuseMount mount(Fuse::laggingPassthrough, below, folder.root() / "mount");
                if (!mount.mounted) return testing::cannotMount("the lagging passthrough");
                const fs::path log = below / "events.jsonl";
                std::ofstream(log) << othersLine(800000000.0, "before");
                std::atomic<bool> armed = false;
                std::atomic<double> seconds = 0;
                TroupeLogWriter writer(
                    mount.at / "events.jsonl",
                    [&](int fd, const void* bytes, std::size_t size) {
                        if (armed.exchange(false))
                            testing::appendAsAnotherProgram(log, othersLine(800000000.0));
                        return ::write(fd, bytes, size);
                    },
                    {}, {}, {}, [&] { return seconds.load(); });
                writer.write(othersLine(800000000.0, "first"), Uuid::random());
                if (!writer.drain()) return std::string("not drained");
                armed = true;
                writer.write(othersLine(800000000.0, "late"), Uuid::random());
                std::atomic<bool> done = false;
                std::thread clock([&] {
                    while (!done) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                        seconds = seconds + step;
                    }
                });
                const auto look =
                    writer.lookBeforeQuitting(std::chrono::steady_clock::now() + std::chrono::seconds(10));
                done = true;
                clock.join();
                if (!look) return std::string("no look");
                return std::string(look->unseen > 0 ? "unseen" : "seen") + ", " +
                       std::to_string(look->doubtful.size()) + " doubtful";
            },
            std::chrono::seconds(30));
        if (said.starts_with("skipped")) GTEST_SKIP() << said;
        EXPECT_EQ(said, step < 0.5 ? "seen, 0 doubtful" : "unseen, 0 doubtful");
    }
}

}  // namespace
}  // namespace tw
