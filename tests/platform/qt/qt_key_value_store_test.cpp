#include "platform/qt/qt_key_value_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/log.h"
#include "qt_event_pump.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class QtKeyValueStoreTest : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tw-qt-kv-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        folder_ = root_ / "data";
        file_ = folder_ / "CloudKeyValueStore.json";
        log::setSinkForTesting([this](std::string_view line) { warnings_.emplace_back(line); });
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        fs::remove_all(root_);
    }
    // As sync tools do: a new file (or link) renamed over the old one.
    void replace(const std::string& text) {
        std::ofstream(folder_ / "incoming.tmp") << text;
        fs::rename(folder_ / "incoming.tmp", file_);
    }
    // Lets the store take in what the kernel has queued: the events of a change are
    // queued by the time the call that made it returns, and one pass dispatches them.
    static void takeInEvents() { QCoreApplication::processEvents(); }
    void write(const std::string& headline) { replace(R"({"headline": ")" + headline + R"("})"); }
    void replaceByLoop() {
        fs::create_symlink("incoming.tmp", folder_ / "incoming.tmp");
        fs::rename(folder_ / "incoming.tmp", file_);
    }

    fs::path root_;
    fs::path folder_;
    fs::path file_;
    std::vector<std::string> warnings_;
};

// Each step replaces the file; `warnings` is how many lines the log holds after it.
TEST_F(QtKeyValueStoreTest, AReadThatFailsKeepsTheValuesAndIsToldOncePerProblem) {
    int reads = 0;
    QtKeyValueStore store(file_, [&reads](const fs::path& file) {
        ++reads;
        return readKeyValuesFile(file);
    });
    int changes = 0;
    store.observeExternalChanges([&] { ++changes; });
    struct Step {
        const char* name;
        std::function<void()> apply;
        std::size_t warnings;
        const char* headline;  // the value held afterwards
    };
    const std::vector<Step> steps = {
        {"good", [&] { replace(R"({"headline": "Big night"})"); }, 0, "Big night"},
        {"symlink loop", [&] { replaceByLoop(); }, 1, "Big night"},
        {"the loop again", [&] { replaceByLoop(); }, 1, "Big night"},
        {"malformed", [&] { replace(R"({"headline": "Day)"); }, 2, "Big night"},
        {"the same malformed text", [&] { replace(R"({"headline": "Day)"); }, 2, "Big night"},
        {"other malformed text", [&] { replace(R"(["headline"])"); }, 3, "Big night"},
        {"good again", [&] { replace(R"({"headline": "Day two"})"); }, 3, "Day two"},
        {"the loop after a good read", [&] { replaceByLoop(); }, 4, "Day two"},
    };
    for (const Step& step : steps) {
        const int before = reads;
        step.apply();
        // A read that starts after the change sees it.
        EXPECT_TRUE(pumpUntil([&] { return reads > before; })) << step.name;
        EXPECT_EQ(warnings_.size(), step.warnings) << step.name;
        EXPECT_EQ(store.stringForKey("headline"), step.headline) << step.name;
    }
    EXPECT_EQ(changes, 2);
}

// Files that come and go beside it (the dialogue cache's temp files and renames) are not
// looked at; a change to the file a link at its name leads to is.
TEST_F(QtKeyValueStoreTest, ReadsOnlyForEventsNamingTheFileOrItsLinksTarget) {
    const fs::path target = root_ / "elsewhere" / "arcs.json";
    fs::create_directories(target.parent_path());
    std::ofstream(target) << R"({"headline": "Linked"})";
    fs::create_directories(folder_);
    fs::create_symlink(target, file_);
    int reads = 0;
    QtKeyValueStore store(file_, [&reads](const fs::path& file) {
        ++reads;
        return readKeyValuesFile(file);
    });
    EXPECT_EQ(store.stringForKey("headline"), "Linked");
    for (int i = 0; i < 20; ++i) {
        const fs::path other = folder_ / ("DialogueCache.json.tmp-" + std::to_string(i));
        std::ofstream(other) << "{}";
        fs::rename(other, folder_ / "DialogueCache.json");
        takeInEvents();  // else the events of all the renames would make one read
    }
    fs::remove(folder_ / "DialogueCache.json");
    std::ofstream(target) << R"({"headline": "Edited in place"})";
    ASSERT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == "Edited in place"; }));
    const int afterEdit = reads;
    EXPECT_LE(afterEdit, 3);  // the start and the edit's close, not one per other file
    fs::remove(file_);
    ASSERT_TRUE(pumpUntil([&] { return !store.stringForKey("headline"); }));
    EXPECT_EQ(warnings_.size(), 0u);
}

// A folder made again just after a watch on it failed, before the folder above is
// watched: no event tells of it.
fs::path madeWhenItsWatchFails;

// Each row takes the file's folder away under a running store, then makes it again.
TEST_F(QtKeyValueStoreTest, TheWatchComesBackWithTheFoldersOnTheWayToTheFile) {
    const PathWatchOptions racing{.addWatch = [](int fd, const char* path, std::uint32_t mask) {
        const int watch = ::inotify_add_watch(fd, path, mask);
        const int error = errno;
        if (watch < 0 && path == madeWhenItsWatchFails)
            fs::create_directory(std::exchange(madeWhenItsWatchFails, {}));
        errno = error;
        return watch;
    }};
    QtKeyValueStore store(file_, readKeyValuesFile, racing);
    struct Row {
        const char* name;
        std::function<void()> takeAway;
    };
    int held = -1;  // a folder someone has open is not reported deleted until closed
    const std::vector<Row> rows = {
        {"its folder removed", [&] { fs::remove_all(folder_); }},
        {"its folder removed while held open",
         [&] {
             held = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
             fs::remove_all(folder_);
         }},
        {"two folders removed", [&] { fs::remove_all(root_); }},
        {"its folder moved away", [&] { fs::rename(folder_, root_ / "old"); }},
        {"its folder made again while the watch moves up",
         [&] {
             madeWhenItsWatchFails = folder_;
             fs::remove_all(folder_);
         }},
    };
    for (const Row& row : rows) {
        fs::create_directories(folder_);
        write("Before");
        ASSERT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == "Before"; })) << row.name;
        row.takeAway();
        ASSERT_TRUE(pumpUntil([&] { return !store.stringForKey("headline"); })) << row.name;
        fs::create_directories(folder_);
        takeInEvents();
        write(row.name);
        EXPECT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == row.name; })) << row.name;
    }
    ::close(held);
    EXPECT_EQ(warnings_.size(), 0u);
}

// Neither the link nor the folder of the file it names exist when the store starts.
TEST_F(QtKeyValueStoreTest, ALinkIsFollowedToAFileMadeAfterIt) {
    QtKeyValueStore store(file_);
    const fs::path target = root_ / "later" / "arcs.json";
    fs::create_symlink(target, file_);
    takeInEvents();
    fs::create_directories(target.parent_path());
    takeInEvents();
    std::ofstream(target) << R"({"headline": "Linked later"})";
    EXPECT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == "Linked later"; }));
}

// Read half-written, it would be reported as broken.
TEST_F(QtKeyValueStoreTest, AFileWrittenInPlaceIsReadOnceItsWriterClosesIt) {
    QtKeyValueStore store(file_);
    {
        std::ofstream writer(file_);
        for (const char* part : {R"({"headline": )", R"("Slow")", "}"}) {
            writer << part << std::flush;
            takeInEvents();
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == "Slow"; }));
    EXPECT_EQ(warnings_.size(), 0u);
}

TEST_F(QtKeyValueStoreTest, WithoutAWatchItSaysSoOnceAndLooksAgainOnATimer) {
    const PathWatchOptions noWatches{.addWatch =
                                         [](int, const char*, std::uint32_t) {
                                             errno = ENOSPC;  // as at the watch limit
                                             return -1;
                                         },
                                     .pollInterval = std::chrono::milliseconds(10)};
    QtKeyValueStore store(file_, readKeyValuesFile, noWatches);
    for (const std::string headline : {"First", "Second"}) {
        write(headline);
        ASSERT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == headline; })) << headline;
    }
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find("Cannot watch " + folder_.string()), std::string::npos) << warnings_[0];
}

// A file given its name by a link is whole when it appears; no writer closes it there.
TEST_F(QtKeyValueStoreTest, AFilePublishedByAHardLinkIsRead) {
    fs::create_directories(folder_);
    QtKeyValueStore store(file_);
    const fs::path staged = folder_ / "incoming.tmp";
    // A file with no name yet, written and then given the store's, its writer closing it
    // before or after the store hears of the name.
    const auto linkUnnamedFile = [&](const std::string& text, bool closeBeforeEvents) {
        const int fd = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ASSERT_EQ(::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file_.c_str(), AT_SYMLINK_FOLLOW), 0);
        if (!closeBeforeEvents) takeInEvents();
        ::close(fd);
    };
    struct Row {
        const char* name;
        std::function<void(const std::string& text)> publish;
    };
    const std::vector<Row> rows = {
        {"ln",
         [&](const std::string& text) {
             std::ofstream(staged) << text;
             fs::create_hard_link(staged, file_);
         }},
        {"ln, then the first name removed",
         [&](const std::string& text) {
             std::ofstream(staged) << text;
             fs::create_hard_link(staged, file_);
             fs::remove(staged);
         }},
        {"O_TMPFILE and linkat", [&](const std::string& text) { linkUnnamedFile(text, true); }},
        {"O_TMPFILE and linkat, closed later",
         [&](const std::string& text) { linkUnnamedFile(text, false); }},
    };
    for (const Row& row : rows) {
        fs::remove(staged);
        fs::remove(file_);
        takeInEvents();  // else reading for the removal would find the next row's file
        ASSERT_TRUE(pumpUntil([&] { return !store.stringForKey("headline"); })) << row.name;
        row.publish(R"({"headline": ")" + std::string(row.name) + R"("})");
        EXPECT_TRUE(pumpUntil([&] { return store.stringForKey("headline") == row.name; })) << row.name;
    }
    EXPECT_EQ(warnings_.size(), 0u);
}

}  // namespace
}  // namespace tw
