// What a look at the held log makes of its stat against what the writer's writes left, and
// whether this run's lines still read back where they were placed in the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/troupe/store/troupe_own_copy.h"
#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/store/troupe_event_index.h"
#include "troupe/store/troupe_log_held_file_unseen.h"
#include "troupe/store/troupe_log_path_watch.h"
#include "troupe/store/troupe_run_ledger.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

using TemporaryFolder = testing::TemporaryXdg;  // its root, a fresh folder

// ---- TroupeLogPathWatch::look

constexpr dev_t kDevice = 41;
constexpr ino_t kInode = 7001;
constexpr off_t kSize = 120;
constexpr timespec kChanged{1700000100, 500};
constexpr timespec kModified{1700000090, 500};
constexpr timespec kNew{1700000101, 500};

// Defaults: the stat of the file just as the writer left it.
struct LookRow {
    const char* name;
    bool seen = true;
    std::uint64_t seenSize = kSize;
    const char* tail = "\"kind\":\"wave\"}\n";
    bool ctimeKnown = true;
    bool mtimeKnown = true;
    dev_t device = kDevice;
    ino_t inode = kInode;
    off_t grow = 0;  // the size against kSize
    timespec ctime = kChanged;
    timespec mtime = kModified;
    bool tailGone = false;  // what tailReadsBack answers
    TroupeLogLook want = TroupeLogLook::same;
    bool asks = false;  // whether tailReadsBack may be asked at all
};

TEST(TroupeLogLook, StatAgainstWhatWasSeen) {
    using enum TroupeLogLook;
    const LookRow rows[] = {
        {.name = "nothing seen yet", .seen = false, .inode = 9, .grow = -9, .ctime = kNew},
        {.name = "same size and change time", .want = same},
        {.name = "another inode", .inode = kInode + 1, .want = changed},
        {.name = "smaller", .grow = -1, .ctime = kNew, .mtime = kNew, .want = changed},
        {.name = "bigger from a line's end", .grow = 40, .ctime = kNew, .want = appended, .asks = true},
        {.name = "bigger, seen tail gone", .grow = 40, .tailGone = true, .want = changed, .asks = true},
        {.name = "bigger after half a line", .tail = "\"kind\":\"wa", .grow = 40, .want = changed},
        {.name = "bigger from empty", .seenSize = 0, .tail = "", .grow = -80, .want = appended, .asks = true},
        {.name = "change time unknown", .ctimeKnown = false, .ctime = kNew, .want = same},
        {.name = "new ctime alone", .ctime = kNew, .want = metadata, .asks = true},
        {.name = "new times", .ctime = kNew, .mtime = kNew, .want = rewritten, .asks = true},
        {.name = "mtime unknown", .mtimeKnown = false, .ctime = kNew, .want = rewritten, .asks = true},
        {.name = "new ctime, tail gone", .ctime = kNew, .tailGone = true, .want = changed, .asks = true},
    };
    TemporaryFolder folder;
    TroupeLogPathWatch watch(folder.root() / "troupe.jsonl", [] {});
    for (const LookRow& row : rows) {
        SCOPED_TRACE(row.name);
        watch.forget();
        if (row.seen) {
            TroupeLogPathWatch::Seen seen;
            seen.identity = {kDevice, kInode};
            seen.size = row.seenSize;
            if (row.ctimeKnown) seen.changedAt = kChanged;
            if (row.mtimeKnown) seen.modifiedAt = kModified;
            seen.tail = row.tail;
            watch.expect(seen);
        }
        struct stat info {};
        info.st_dev = row.device;
        info.st_ino = row.inode;
        info.st_size = kSize + row.grow;
        info.st_ctim = row.ctime;
        info.st_mtim = row.mtime;
        int asked = 0;
        const auto tailReadsBack = [&] {
            ++asked;
            return !row.tailGone;
        };
        EXPECT_EQ(watch.look(info, tailReadsBack), row.want);
        EXPECT_TRUE(row.asks || asked == 0) << asked << " reads of the tail";
    }
}

// ---- TroupeRunLedger read-back

Uuid idOf(std::size_t entry) {
    Uuid id;
    id.bytes[0] = 0x7e;
    id.bytes[14] = static_cast<std::uint8_t>(entry >> 8);
    id.bytes[15] = static_cast<std::uint8_t>(entry);
    return id;
}

// Each line tells its entry, so a line compared at another's place does not pass.
std::string ourLine(std::size_t entry, std::size_t length) {
    std::string line = "{\"n\":" + std::to_string(entry) + ",\"pad\":\"";
    line.resize(length - 3, '.');
    return line + "\"}\n";
}

// Another program's line first, then ours one after another.
struct Log {
    std::size_t lines = 6;
    std::size_t length = 40;
    std::string head = "{\"theirs\":true}\n";
    std::uint64_t at(std::size_t entry) const { return head.size() + entry * length; }
};

std::vector<std::size_t> entries(std::size_t from, std::size_t to) {
    std::vector<std::size_t> all;
    for (std::size_t entry = from; entry < to; ++entry) all.push_back(entry);
    return all;
}

struct ReadBackRow {
    const char* name;
    Log log{};
    std::function<void(std::string& text, const Log& log)> edit{};  // another program's
    std::vector<std::size_t> unplaced{};
    std::function<void(TroupeRunLedger& ledger, const Log& log)> move{};
    bool noFile = false;
    std::optional<std::size_t> count{};            // all entries when unset
    std::optional<std::size_t> noNewlineInCopy{};  // the entry whose own copy lacks its newline
    std::vector<std::size_t> lost{};               // what notReadingBack lists
    bool epochOneBack = false;                     // what placedLinesReadBack(fd, 1) says
};

TEST(TroupeLogLookReadBack, LinesAgainstTheLog) {
    const auto cut = [](std::size_t entry, std::size_t into) {
        return [=](std::string& text, const Log& log) { text.resize(log.at(entry) + into); };
    };
    // Entries from `from` on placed again, in `epoch`, `shift` bytes on.
    const auto moved = [](std::size_t from, std::uint64_t epoch, std::uint64_t shift) {
        return [=](TroupeRunLedger& ledger, const Log& log) {
            for (std::size_t entry = from; entry < log.lines; ++entry)
                ledger.place(entry, {epoch, log.at(entry) + shift});
        };
    };
    const Log big{.lines = 3000, .length = 400};  // 1.2 MB of lines after each other
    const ReadBackRow rows[] = {
        {.name = "all there", .epochOneBack = true},
        {.name = "cut inside the 4th line", .edit = cut(3, 20), .lost = entries(3, 6)},
        {.name = "cut where the 5th line starts", .edit = cut(4, 0), .lost = {4, 5}},
        {.name = "cut inside the 4th line, 4 entries asked", .edit = cut(3, 20), .count = 4, .lost = {3}},
        {.name = "a byte of the 3rd line written over",
         .edit = [](std::string& text, const Log& log) { text[log.at(2) + 10] = '#'; },
         .lost = {2}},
        {.name = "their bytes glued before our first line",
         .edit = [](std::string& text, const Log& log) { text[log.at(0) - 1] = ' '; },
         .lost = {0}},
        {.name = "the last placed past the end", .move = moved(5, 1, 100000), .lost = {5}},
        {.name = "the 3rd never placed", .unplaced = {2}, .lost = {2}, .epochOneBack = true},
        {.name = "the last two placed in another epoch, then cut off",
         .edit = cut(4, 0),
         .move = moved(4, 2, 0),
         .lost = {4, 5},
         .epochOneBack = true},
        {.name = "placed again further on",
         .edit = [](std::string& text, const Log&) { text.insert(0, "\n"); },
         .move = moved(0, 1, 1),
         .epochOneBack = true},
        {.name = "no file", .noFile = true, .lost = entries(0, 6)},
        {.name = "the 2nd's own copy without its newline",
         .noNewlineInCopy = 1,
         .lost = {1},
         .epochOneBack = true},
        {.name = "the 2nd's own copy without its newline, cut inside the 4th line",
         .edit = cut(3, 20),
         .noNewlineInCopy = 1,
         .lost = {1, 3, 4, 5}},
        {.name = "past 1 MiB, cut in the first MiB",
         .log = big,
         .edit = cut(1500, 200),
         .lost = entries(1500, 3000)},
        {.name = "past 1 MiB, cut after it", .log = big, .edit = cut(2900, 200), .lost = entries(2900, 3000)},
    };
    TemporaryFolder folder;
    for (const ReadBackRow& row : rows) {
        SCOPED_TRACE(row.name);
        const Log& log = row.log;
        TroupeRunLedger ledger(folder.root());
        std::string text = log.head;
        for (std::size_t entry = 0; entry < log.lines; ++entry) {
            const bool placed =
                std::find(row.unplaced.begin(), row.unplaced.end(), entry) == row.unplaced.end();
            const std::string line = ourLine(entry, log.length);
            ledger.record(idOf(entry), line,
                          placed ? std::optional(TroupeRunLedger::Place{1, log.at(entry)}) : std::nullopt);
            text += line;
        }
        if (row.move) row.move(ledger, log);
        if (const auto entry = row.noNewlineInCopy) {
            const int copy = testing::ownCopyStartingWith(ourLine(0, log.length));
            ASSERT_EQ(::pwrite(copy, " ", 1, static_cast<off_t>((*entry + 1) * log.length - 1)), 1);
        }
        if (row.edit) row.edit(text, log);
        const fs::path file = folder.root() / "troupe.jsonl";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        const int fd = row.noFile ? -1 : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_TRUE(row.noFile || fd >= 0);

        std::vector<std::size_t> listed;
        for (const TroupeRunLedger::Line& line : ledger.notReadingBack(fd, row.count.value_or(log.lines))) {
            listed.push_back(line.entry);
            // What is written back to the log: the entry's own line.
            EXPECT_EQ(line.id, idOf(line.entry));
            // One whose own copy is bad has none: the quit looks for it by its id.
            EXPECT_EQ(line.text, line.entry == row.noNewlineInCopy ? "" : ourLine(line.entry, log.length));
        }
        EXPECT_EQ(listed, row.lost);
        EXPECT_EQ(ledger.placedLinesReadBack(fd, 1), row.epochOneBack);
        if (fd >= 0) ::close(fd);
    }
}

// Following the log, this run's lines are read back at a cost that does not grow with the
// run: each new line (or one written there again) at the first read-back, the older ones a
// budget of bytes at a time, round the run, so a write over any of them is found in a round.
TEST(TroupeLogLookReadBack, NewLinesOnceAndTheOlderRoundTheRun) {
    TemporaryFolder folder;
    const Log log{.lines = 100};
    TroupeRunLedger ledger(folder.root());
    std::string text = log.head;
    for (std::size_t entry = 0; entry < log.lines; ++entry) {
        ledger.record(idOf(entry), ourLine(entry, log.length), TroupeRunLedger::Place{1, log.at(entry)});
        text += ourLine(entry, log.length);
    }
    text[log.at(60) + 10] = '#';
    const fs::path file = folder.root() / "troupe.jsonl";
    std::ofstream(file, std::ios::binary) << text << ourLine(100, log.length);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    const auto readBack = [&](std::uint64_t olderBytes) {  // by value: what is left is dropped
        const std::uint64_t before = ledger.linesReadBack();
        const bool back = ledger.recentLinesReadBack(fd, 1, olderBytes);  // less what it took
        return std::pair(back, ledger.linesReadBack() - before);
    };
    EXPECT_EQ(readBack(0), std::pair(false, std::uint64_t{100}));  // all new, in one read
    ledger.record(idOf(100), ourLine(100, log.length), TroupeRunLedger::Place{1, log.at(100)});
    EXPECT_EQ(readBack(0), std::pair(true, std::uint64_t{1}));
    EXPECT_EQ(readBack(50 * log.length), std::pair(true, std::uint64_t{50}));  // the first 50
    EXPECT_EQ(readBack(50 * log.length), std::pair(false, std::uint64_t{50}));
    ledger.placeAgain(60, {1, log.at(5)});  // another line's place: it does not read back there
    EXPECT_EQ(readBack(0).first, false);
    EXPECT_EQ(readBack(0), std::pair(true, std::uint64_t{0}));
    // Put right: a budget for more than the run reads each line once, from where it stood.
    text[log.at(60) + 10] = ourLine(60, log.length)[10];
    std::ofstream(file, std::ios::binary) << text << ourLine(100, log.length);
    ledger.placeAgain(60, {1, log.at(60)});
    EXPECT_EQ(readBack(0), std::pair(true, std::uint64_t{1}));
    EXPECT_EQ(readBack(1000 * log.length), std::pair(true, std::uint64_t{101}));
    ::close(fd);
}

// A line of ours not seen where it went (written during epoch 1, from offset 40) against a
// reconcile's read that lacks it: gone only once nothing of it can lie past the read, by a
// later line of ours landing within it; after a change, only a landing whose bytes were read.
TEST(TroupeLogLookReadBack, AnUnseenLineIsGoneOnlyWhenALaterOneLandedWithinTheRead) {
    const struct {
        const char* name;
        std::uint64_t landedEpoch;  // of the later line of ours, at offset 100 (0: none)
        bool verified;
        std::uint64_t readEpoch;
        std::uint64_t reach;
        bool gone;
    } rows[] = {{"no later line", 0, true, 1, 500, false},
                {"a later line within the read", 1, true, 1, 500, true},
                {"a later line past the read", 1, true, 1, 90, false},
                {"a change since, a later line read there", 2, true, 2, 500, true},
                {"a change since, a later line not read back", 2, false, 2, 500, false},
                {"changed again after the later line", 2, true, 3, 500, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TroupeLogUnseenLines unseen;
        const TroupeRunLedger::Line line{idOf(1), ourLine(1, 40), 1};
        unseen.add(line, 40, 1, 5);
        if (row.landedEpoch > 0) unseen.placedLater(row.landedEpoch, 100, 6, row.verified);
        EXPECT_EQ(unseen.takeEndedWithin({line}, row.readEpoch, row.reach).size(), row.gone ? 1u : 0u);
        EXPECT_EQ(unseen.empty(), row.gone);
    }
}

// A log that is a link into another folder: a write to the file it leads to pokes the watch
// at once, as one under the log's own name does, not only the slow poll.
TEST(TroupeLogLook, ALinkedLogsFileIsWatchedInItsOwnFolder) {
    TemporaryFolder folder;
    fs::create_directories(folder.root() / "log");
    fs::create_directories(folder.root() / "elsewhere");
    const fs::path target = folder.root() / "elsewhere" / "real.jsonl";
    std::ofstream(target) << "{}\n";
    fs::create_symlink(target, folder.root() / "log" / "events.jsonl");
    std::atomic<int> pokes = 0;
    TroupeLogPathWatch watch(folder.root() / "log" / "events.jsonl", [&] { ++pokes; });
    std::ofstream(target, std::ios::app) << "{}\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pokes == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GT(pokes, 0);
}

}  // namespace
}  // namespace tw
