// The log cut short, written over, deleted or made unusable by other programs while
// the store runs: this run's events are written again, once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/troupe/store/troupe_store_harness.h"
#include "troupe/event_model/troupe_json.h"
#include "troupe/store/troupe_store.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::event;
using testing::fileSize;
using testing::TroupeHarness;

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

}  // namespace
}  // namespace tw
