// Whatever sits at the log's path, opening the troupe neither waits nor spins nor
// writes over it. Each row runs in a child process with a deadline, so a loader that
// hangs fails its row instead of the whole run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/troupe/store/troupe_fuse_mount.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_log_file_at_path.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::CapturedLog;
using testing::milestone;
using testing::TroupeHarness;

// What a user can tell about a path: its kind, mode, identity, size and times, where a
// link points and whether its target exists, and a folder's entries.
std::string fingerprint(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return "nothing";
    std::string print = std::to_string(info.st_mode) + " " + std::to_string(info.st_ino) + " " +
                        std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                        std::to_string(info.st_mtim.tv_nsec);
    std::error_code error;
    if (S_ISLNK(info.st_mode)) {
        print += " -> " + fs::read_symlink(path, error).string();
        print += fs::exists(path, error) ? " (there)" : " (nothing there)";
    }
    if (S_ISDIR(info.st_mode)) {
        for (const auto& entry : fs::directory_iterator(path, error)) print += " " + entry.path().string();
    }
    return print;
}

// Drops to an ordinary user when running as root, who reads any file whatever its mode.
void actAsAnOrdinaryUser(const fs::path& tree) {
    if (::geteuid() != 0) return;
    constexpr uid_t nobody = 65534;
    std::error_code error;
    ::lchown(tree.c_str(), nobody, nobody);
    for (const auto& entry : fs::recursive_directory_iterator(tree, error))
        ::lchown(entry.path().c_str(), nobody, nobody);
    if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(2);
}

// Opens the troupe, appends twice, closes it, and says what came of it.
std::string openAndAppend(TroupeHarness& h) {
    CapturedLog log;
    std::string appends;
    std::int64_t events = 0;
    std::int64_t skipped = 0;
    {
        auto store = h.open();
        events = store->snapshot().eventCount;
        skipped = store->skippedLineCount();
        int taken = 0;
        int refused = 0;
        for (int i = 0; i < 2; ++i) {
            const auto result = store->append(milestone(100 + i, h.clock.now().seconds));
            if (std::holds_alternative<TroupeEvent>(result)) ++taken;
            if (auto* error = std::get_if<TroupeStoreError>(&result);
                error && *error == TroupeStoreError::logUnavailable)
                ++refused;
        }
        appends = taken == 2 ? "taken" : refused == 2 ? "refused" : "mixed";
        if (!store->drain()) appends += " and not written";
    }
    // Every row's ids are indexed by what was read, never by the file's apparent size,
    // and each event's offset is where its line starts.
    TroupeEventIndex index;
    bool offsetsHold = true;
    const int fd = ::open(h.logFile().c_str(), O_RDONLY | O_NONBLOCK);
    readTroupeLogBlocks(h.logFile(), &index, [&](auto& events, const auto& offsets, const auto&) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            char line[4096];
            const ssize_t got = ::pread(fd, line, sizeof line, static_cast<off_t>(offsets[i]));
            const std::string text(line, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
            if (events[i] && text.substr(0, text.find('\n')) != encodeTroupeEventLine(*events[i]))
                offsetsHold = false;
        }
    });
    if (fd >= 0) ::close(fd);
    const bool indexFits = index.capacity() <= 4 * index.size() + 64;
    return "events " + std::to_string(events) + ", skipped " + std::to_string(skipped) +
           ", unreadable said " + std::to_string(log.count("Cannot read the troupe log")) + ", appends " +
           appends + ", refusal said " + std::to_string(log.count("Refusing troupe events")) +
           ", index fits " + (indexFits ? "yes" : "no") + ", offsets hold " + (offsetsHold ? "yes" : "no");
}

std::string unusable() {
    return "events 0, skipped 0, unreadable said 1, appends refused, refusal said 1, index fits yes, "
           "offsets hold yes";
}

TEST(TroupeLogPaths, WhateverIsAtTheLogsPathNothingHangsAndNothingIsWrittenOverIt) {
    // 4 MiB of lines, a 1 MiB hole, many tiny damaged lines, more lines, and a hole to
    // 128 MiB: each run of zeros is one damaged line.
    std::string firstLines;
    std::string lastLines;
    int lines = 0;
    for (; firstLines.size() + lastLines.size() < (std::size_t{4} << 20); ++lines)
        (lines % 2 ? lastLines : firstLines) += encodeTroupeEventLine(milestone(lines, 799999000)) + "\n";
    struct Row {
        const char* name;
        std::function<void(const fs::path& log)> place;
        std::string outcome;
        bool untouched;
        bool asOrdinaryUser = false;
    };
    const std::vector<Row> rows = {
        {"a FIFO", [](const fs::path& log) { ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0); }, unusable(), true},
        {"a socket",
         [](const fs::path& log) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             ASSERT_LT(log.string().size(), sizeof address.sun_path);
             std::strcpy(address.sun_path, log.c_str());
             ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
         },
         unusable(), true},
        {"a link to /dev/zero", [](const fs::path& log) { fs::create_symlink("/dev/zero", log); }, unusable(),
         true},
        {"a link loop", [](const fs::path& log) { fs::create_symlink(log.filename(), log); }, unusable(),
         true},
        {"a link to nothing", [](const fs::path& log) { fs::create_symlink("gone.jsonl", log); }, unusable(),
         true},
        {"a directory", [](const fs::path& log) { fs::create_directories(log / "kept"); }, unusable(), true},
        {"a file of mode 000",
         [&](const fs::path& log) {
             std::ofstream(log, std::ios::binary) << firstLines;
             fs::permissions(log, fs::perms::none);
         },
         unusable(), true, true},
        {"a sparse file",
         [&](const fs::path& log) {
             const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(::write(fd, firstLines.data(), firstLines.size()),
                       static_cast<ssize_t>(firstLines.size()));
             ASSERT_EQ(::lseek(fd, 1 << 20, SEEK_END), static_cast<off_t>(firstLines.size() + (1 << 20)));
             std::string rest = "\n";
             for (int i = 0; i < 40000; ++i) rest += "{}\n";
             rest += lastLines;
             ASSERT_EQ(::write(fd, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
             ASSERT_EQ(::ftruncate(fd, off_t{128} << 20), 0);
             ::close(fd);
         },
         "events " + std::to_string(lines) +
             ", skipped 40002, unreadable said 0, appends taken, refusal said 0, index fits yes, offsets "
             "hold yes",
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TroupeHarness h;
        fs::create_directories(h.logFile().parent_path());
        row.place(h.logFile());
        const std::string before = fingerprint(h.logFile());
        const std::string outcome = testing::inChild(
            [&] {
                if (row.asOrdinaryUser) actAsAnOrdinaryUser(h.xdg.root());
                return openAndAppend(h);
            },
            std::chrono::seconds(60));
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(fingerprint(h.logFile()) == before, row.untouched) << fingerprint(h.logFile());
        EXPECT_FALSE(fs::exists(h.logFile().parent_path() / "gone.jsonl"));
    }
}

// On a mount other machines write to, what tells what the log holds is read through a new
// open of its path (which asks the server), never through the descriptor held: the look at
// the path hands its open on, and a read on its own opens the path anew, each sized as the
// file system says now.
TEST(TroupeLogPaths, OnASharedMountTheLogIsReadThroughANewOpen) {
    const std::string said = testing::inChild(
        [] {
            testing::TemporaryXdg folder;
            const testing::FuseMount mount(testing::Fuse::bindfs, folder.root() / "below",
                                           folder.root() / "mount");
            if (!mount.mounted) return testing::cannotMount("bindfs");
            const fs::path log = mount.at / TroupeStore::logFileName;
            std::ofstream(log) << "{}\n";
            const int held = ::open(log.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
            ::lseek(held, 5, SEEK_SET);
            testing::appendAsAnotherProgram(folder.root() / "below" / TroupeStore::logFileName,
                                            "{\"b\":1}\n");
            atomic_file::OpenedFile looked;  // what the look opened
            if (logMountOf(held) == LogMount::local ||
                logAtPath(log, held, true, &looked) != LogAtPath::heldFile)
                return std::string("not the held file on a shared mount");
            const atomic_file::OpenedFile own = logOnItsOwnDescriptor(held, log, true);
            for (const atomic_file::OpenedFile* file :
                 {static_cast<const atomic_file::OpenedFile*>(&looked), &own}) {
                if (file->status != atomic_file::ReadStatus::ok) return std::string("not opened");
                // The held descriptor's offset, which a new open of the path does not share.
                if (::lseek(file->fd, 0, SEEK_CUR) == 5)
                    return std::string("read through the held descriptor");
                if (file->size != 11) return "sized " + std::to_string(file->size);
            }
            ::close(held);
            return std::string("ok");
        },
        std::chrono::seconds(30));
    if (said.starts_with("skipped")) GTEST_SKIP() << said;
    EXPECT_EQ(said, "ok");
}

}  // namespace
}  // namespace tw
