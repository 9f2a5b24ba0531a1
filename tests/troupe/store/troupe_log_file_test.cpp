// The log on disk: what a crash leaves, what a reader skips, and that the store never
// rewrites a line it did not write.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <new>
#include <optional>

#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_log_reader.h"

namespace tw {
namespace {

using testing::CapturedLog;
using testing::milestone;
using testing::readFile;
using testing::TroupeHarness;

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string milestoneId(const TroupeEvent& event) {
    return std::get<TroupeMilestoneEarned>(event.payload.value).milestoneId;
}

TEST(TroupeLogFile, GarbageLinesAreSkippedAndKeptByteForByte) {
    TroupeHarness h;
    TroupeEvent newer = milestone(9, 799999000);
    newer.schemaVersion = 2;
    const std::string good1 = encodeTroupeEventLine(milestone(1, 799999000));
    const std::string good2 = encodeTroupeEventLine(milestone(2, 799999001));
    const std::string original = good1 + "\n" + "{not json\n" + "\n" + "   \n" + good2 + "\r\n" +
                                 R"({"id":"x","kind":"flea_created"})" + "\n" + encodeTroupeEventLine(newer) +
                                 "\n" + "[1,2,3]\n" + good1.substr(0, good1.size() / 2);  // torn by a crash
    writeFile(h.logFile(), original);

    auto store = h.open();
    EXPECT_EQ(store->skippedLineCount(), 4);  // garbage, wrong shape, an array, the torn line
    EXPECT_EQ(store->snapshot().milestonesEarned,
              (TroupeTextSet{"m1", "m2"}));  // the newer one is not folded
    EXPECT_EQ(store->snapshot().eventCount, 2);
    ASSERT_TRUE(store->drain());
    EXPECT_EQ(readFile(h.logFile()), original);

    // The next line starts on a line of its own; the torn one stays as it was.
    const auto appended = std::get<TroupeEvent>(store->append(milestone(3, 800000000)));
    ASSERT_TRUE(store->drain());
    EXPECT_EQ(readFile(h.logFile()), original + "\n" + encodeTroupeEventLine(appended) + "\n");
    store.reset();
    auto reopened = h.open();
    EXPECT_EQ(reopened->snapshot().milestonesEarned, (TroupeTextSet{"m1", "m2", "m3"}));
    EXPECT_EQ(reopened->skippedLineCount(), 4);
    // The newer program's id is taken: appending it again writes nothing.
    const auto repeated =
        reopened->append(TroupeEvent{newer.id, TroupeEventKind::milestoneEarned,
                                     TroupeMilestoneEarned{"other"}, Date{800000000}, Uuid{}, 1});
    EXPECT_EQ(std::get<TroupeEvent>(repeated), newer);
}

// A child appends as fast as it can and is killed mid-write; the log it leaves is
// the accepted events in order, whole lines but perhaps the last.
TEST(TroupeLogFile, AKilledWriterLeavesAPrefixOfWholeLines) {
    TroupeHarness h;
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        testing::InMemoryDefaults defaults;
        testing::ManualClock clock{Date{800000000.0}};
        testing::ManualMainQueue queue;
        NotificationCenter notifications;
        TroupeStore store(TroupeStore::defaultDirectory(), defaults, clock, queue, notifications);
        store.waitUntilLoaded();
        for (int i = 0;; ++i) {
            store.append(milestone(i, 800000000));
            if (i % 200 == 199 && store.drain()) {
                const int drained = i + 1;
                if (::write(pipeFds[1], &drained, sizeof drained) != sizeof drained) ::_exit(1);
            }
        }
    }
    ::close(pipeFds[1]);
    int drained = 0;
    for (int reports = 0; reports < 5; ++reports) ASSERT_EQ(::read(pipeFds[0], &drained, sizeof drained), 4);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::string bytes = readFile(h.logFile());
    std::size_t start = 0;
    int whole = 0;
    for (std::size_t newline; (newline = bytes.find('\n', start)) != std::string::npos; start = newline + 1) {
        const TroupeEvent event = decodeTroupeLogLine(std::string_view(bytes).substr(start, newline - start));
        ASSERT_EQ(milestoneId(event), "m" + std::to_string(whole));
        ++whole;
    }
    EXPECT_GE(whole, drained);
    const std::string rest = bytes.substr(start);  // empty, or the line the kill cut
    EXPECT_TRUE(rest.empty() || encodeTroupeEventLine(milestone(whole, 800000000)).size() > rest.size() ||
                milestoneId(decodeTroupeLogLine(rest)) == "m" + std::to_string(whole));

    auto store = h.open();
    EXPECT_EQ(store->snapshot().eventCount,
              whole + (store->skippedLineCount() == 0 && !rest.empty() ? 1 : 0));
    EXPECT_LE(store->skippedLineCount(), 1);
    store->append(milestone(-1, 800000000));
    const auto count = store->snapshot().eventCount;
    ASSERT_TRUE(store->drain());
    store.reset();
    EXPECT_EQ(h.open()->snapshot().eventCount, count);
}

TEST(TroupeLogFile, ReaderFindsEveryLineWhateverTheBlockSize) {
    TroupeHarness h;
    const std::string a = encodeTroupeEventLine(milestone(1, 1));
    const std::string b = encodeTroupeEventLine(milestone(2, 2));
    const std::string c = encodeTroupeEventLine(milestone(3, 3));
    writeFile(h.logFile(), a + "\n\n" + b + "\r\n" + "garbage\n" + c);
    const TroupeLoadedLog whole = readTroupeLog(h.logFile());
    ASSERT_EQ(whole.events.size(), 3u);
    EXPECT_EQ(whole.offsets, (std::vector<std::uint64_t>{0, a.size() + 2, a.size() + b.size() + 12}));
    EXPECT_EQ(whole.skippedLines, 1);
    EXPECT_FALSE(whole.endsWithNewline);
    EXPECT_EQ(whole.endOffset, a.size() + b.size() + c.size() + 12);
    for (std::size_t block : {1, 7, 64, 4096}) {
        SCOPED_TRACE(block);
        const TroupeLoadedLog blocks = readTroupeLog(h.logFile(), std::uint64_t{1} << 20, block);
        EXPECT_EQ(blocks.events, whole.events);
        EXPECT_EQ(blocks.offsets, whole.offsets);
        EXPECT_EQ(blocks.skippedLines, whole.skippedLines);
        EXPECT_EQ(blocks.endOffset, whole.endOffset);
    }
    // A sink that throws (out of memory as it folds) fails the read, its threads joined.
    for (std::size_t block : {7, 4096}) {
        int blocksTaken = 0;
        EXPECT_THROW(readTroupeLogBlocks(
                         h.logFile(), nullptr,
                         [&](auto&, const auto&, const auto&) {
                             if (++blocksTaken == 1) throw std::bad_alloc();
                         },
                         {}, std::uint64_t{1} << 20, block),
                     std::bad_alloc);
    }
    // Lines longer than the limit are skipped, not held, wherever the blocks cut them.
    for (std::size_t block : {5, 1 << 20}) {
        const TroupeLoadedLog limited = readTroupeLog(h.logFile(), 16, block);
        EXPECT_EQ(limited.skippedLines, 4);
        EXPECT_TRUE(limited.events.empty());
    }
}

// Only a log the store makes gets its mode set: a link to a file of the user's is
// written through and keeps its mode.
TEST(TroupeLogFile, TheModeIsSetOnlyOnALogTheStoreMakes) {
    namespace fs = std::filesystem;
    using fs::perms;
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path& log)> place;  // returns what must keep its mode
        perms mode;
    };
    const std::vector<Case> cases = {
        {"nothing there yet", [](const fs::path& log) { return log; },
         perms::owner_read | perms::owner_write},
        {"a link to a file of the user's",
         [](const fs::path& log) {
             const fs::path target = log.parent_path().parent_path() / "elsewhere.jsonl";
             writeFile(target, "");
             fs::permissions(target, perms::owner_all | perms::group_read | perms::others_read);
             fs::create_symlink(target, log);
             return target;
         },
         perms::owner_all | perms::group_read | perms::others_read},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TroupeHarness h;
        fs::create_directories(h.logFile().parent_path());
        const fs::path kept = c.place(h.logFile());
        {
            auto store = h.open();
            store->append(milestone(1, 800000000));
            EXPECT_TRUE(store->drain());
            EXPECT_EQ(fs::status(kept).permissions() & perms::all, c.mode);
        }
        EXPECT_EQ(h.open()->snapshot().milestonesEarned, TroupeTextSet{"m1"});
    }
}

// While the log cannot be written, the accepted events wait in memory up to a bound;
// beyond it appends are refused, and quitting says how many accepted ones are lost.
TEST(TroupeLogFile, EventsWaitingForAnUnwritableLogAreBounded) {
    TroupeHarness h;
    // A file-size limit of nothing: every write fails (as root too), the file opens.
    struct NoRoom {
        rlimit saved{};
        NoRoom() {
            ::getrlimit(RLIMIT_FSIZE, &saved);
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit none = saved;
            none.rlim_cur = 0;
            ::setrlimit(RLIMIT_FSIZE, &none);
        }
        ~NoRoom() {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            ::signal(SIGXFSZ, SIG_DFL);
        }
    };
    CapturedLog log;
    const auto big = [](int i) {
        TroupeEvent event = milestone(0, 800000000);
        event.payload = TroupeMilestoneEarned{std::string(64 * 1024, 'm') + std::to_string(1000 + i)};
        return event;
    };
    const std::uint64_t lineBytes = encodeTroupeEventLine(big(0)).size() + 1;
    int accepted = 0;
    {
        std::optional<NoRoom> noRoom;  // outlives the store, whose last drain fails too
        auto store = h.open();
        noRoom.emplace();
        std::vector<TroupeAppendResult> results;
        for (int i = 0; i < 100; ++i) results.push_back(store->append(big(i)));
        accepted = static_cast<int>(std::count_if(results.begin(), results.end(), [](const auto& result) {
            return std::holds_alternative<TroupeEvent>(result);
        }));
        EXPECT_EQ(accepted, static_cast<int>(TroupeStore::maxUnwrittenBytes / lineBytes));
        EXPECT_EQ(std::get<TroupeStoreError>(results.back()), TroupeStoreError::writeBacklogFull);
        EXPECT_EQ(store->snapshot().eventCount, accepted);
    }
    EXPECT_EQ(log.count("Refusing troupe events"), 1);
    EXPECT_EQ(log.count(std::to_string(accepted) + " accepted troupe events could not be written"), 1);
}

}  // namespace
}  // namespace tw
