// The settings file changed, damaged or taken away under a running suite, and files
// replaced by several writers at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/defaults.h"
#include "platform/testing/finished_process.h"
#include "tests/platform/defaults_test_support.h"

namespace tw {
namespace {

constexpr int kHeldKeys = 50;

// Appended rather than `"k" + std::to_string(i)`, on which GCC 12 at -O3 raises a false -Wrestrict.
std::string heldKey(int i) {
    std::string key = "k";
    key += std::to_string(i);
    return key;
}

struct FileChange {
    std::string name;
    std::function<void(const fs::path& file)> apply;
    std::function<void(const fs::path& file)> repair;  // set when the save must fail until then
    int keysOnDisk = kHeldKeys + 1;                    // after the next successful save
    int setAside = 0;                                  // damaged files moved aside
    std::string logged;                                // a text the log must show
};

// Whatever happens to the file under a running suite, the keys it holds are never lost.
class DefaultsFileChangesTest : public JsonFileDefaultsTest {
   protected:
    void SetUp() override {
        JsonFileDefaultsTest::SetUp();
        fs::permissions(directory_, fs::perms::all);  // also usable by an unprivileged child
    }

    int loggedLinesWith(const std::string& text) const {
        int count = 0;
        for (const auto& line : logLines_) count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }

    // Holds 50 saved keys, lets `change` hit the file, then saves one more key. Returns
    // what went wrong, empty when nothing did.
    std::string run(const FileChange& change) {
        logLines_.clear();
        const fs::path folder = directory_ / change.name;
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::all);  // also usable by an unprivileged child
        const fs::path file = folder / "standard.json";
        std::ostringstream why;
        JsonFileDefaults defaults(file, 3600);
        for (int i = 0; i < kHeldKeys; ++i) defaults.setInteger(heldKey(i), i);
        if (!defaults.flush()) return "the first save failed";

        change.apply(file);
        defaults.setBool("after", true);
        if (change.repair) {
            if (defaults.flush()) why << "saved while the file was unusable; ";
            defaults.setBool("again", true);
            if (defaults.flush()) why << "saved twice while the file was unusable; ";
            if (loggedLinesWith("cannot save") != 1) why << "not logged exactly once; ";
            change.repair(file);
            defaults.remove("again");
        }
        if (!defaults.flush()) return why.str() + "the save failed";
        int lost = 0;
        for (int i = 0; i < kHeldKeys; ++i) lost += defaults.integerForKey(heldKey(i)) != i ? 1 : 0;
        if (lost > 0) why << "lost " << lost << " keys in memory; ";
        try {
            const auto saved = decodeDefaultsFile(readFile(file));
            if (static_cast<int>(saved.size()) != change.keysOnDisk) why << saved.size() << " keys on disk; ";
        } catch (const std::exception& error) {
            why << "saved file unreadable: " << error.what() << "; ";
        }
        if (countWithPrefix(folder, "standard.json.corrupt-") != change.setAside) why << "set-aside count; ";
        if (countWithPrefix(folder, "standard.json.tmp-") != 0) why << "temp file left; ";
        if (!change.logged.empty() && loggedLinesWith(change.logged) == 0) why << "no log line; ";
        return why.str();
    }
};

TEST_F(DefaultsFileChangesTest, NoChangeOfTheFileMakesARunningSuiteDropAKey) {
    const std::vector<FileChange> changes = {
        {"deleted", [](const fs::path& file) { fs::remove(file); }, {}, kHeldKeys + 1, 0, "was removed"},
        {"truncated",
         [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) / 2); },
         {},
         kHeldKeys + 1,
         1,
         "could not be parsed"},
        {"garbage", [](const fs::path& file) { writeFile(file, "\x01garbage{"); }, {}, kHeldKeys + 1, 1, ""},
        {"rewritten by another program",
         [](const fs::path& file) { writeFile(file, R"({"foreign": {"type": "int", "value": 7}})"); },
         {},
         kHeldKeys + 2,
         0,
         "wrote them back"},
        // Sparse: the limit is checked before a byte is read.
        {"over the size limit",
         [](const fs::path& file) { fs::resize_file(file, 65ull * 1024 * 1024); },
         {},
         kHeldKeys + 1,
         1,
         "over the 64 MiB limit"},
        {"replaced by a directory",
         [](const fs::path& file) {
             fs::remove(file);
             fs::create_directory(file);
         },
         [](const fs::path& file) { fs::remove(file); }, kHeldKeys + 1, 0, "is a directory"},
    };
    for (const auto& change : changes) EXPECT_EQ(run(change), "") << change.name;
}

TEST_F(DefaultsFileChangesTest, AFileWithoutPermissionIsReportedOnceAndSavedWhenAllowedAgain) {
    const FileChange change{"no permission",
                            [](const fs::path& file) { fs::permissions(file, fs::perms::none); },
                            [](const fs::path& file) { fs::permissions(file, fs::perms::owner_all); },
                            kHeldKeys + 1,
                            0,
                            "Permission denied"};
    // Root reads any file, so the suite runs as an unprivileged user in a child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
            const std::string why = run(change);
            std::fputs(why.c_str(), stderr);
            std::_Exit(why.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DefaultsFileChangesTest, TempFilesOfDeadWritersGoAtStartAndThoseOfRunningOnesStay) {
    const fs::path file = directory_ / "standard.json";
    const std::string dead = "standard.json.tmp-" + std::to_string(testing::finishedProcessId());
    const std::vector<std::pair<std::string, bool>> temps = {
        {dead + "-3", false},
        {dead, false},  // the name older builds used
        {"standard.json.tmp-" + std::to_string(::getpid()) + "-1", true},
        {"standard.json.tmp-" + std::to_string(::getppid()), true},
        {"standard.json.tmp-notes", true},  // not a temp name of ours
        {"other.json.tmp-" + std::to_string(testing::finishedProcessId()), true},
    };
    for (const auto& [name, kept] : temps) writeFile(directory_ / name, "{");
    JsonFileDefaults defaults(file);
    for (const auto& [name, kept] : temps) EXPECT_EQ(fs::exists(directory_ / name), kept) << name;
}

TEST(AtomicFileTest, ConcurrentReplacementsAlwaysLeaveOneWholeVersion) {
    const fs::path file = fs::temp_directory_path() / ("atomic-" + std::to_string(::getpid()));
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w) {
        writers.emplace_back([&file, w] {
            const std::string text(4096 + w, static_cast<char>('a' + w));
            std::string error;
            for (int i = 0; i < 200; ++i)
                EXPECT_TRUE(atomic_file::replace(file, text, false, error)) << error;
        });
    }
    for (int i = 0; i < 400; ++i) {
        const std::string text = readFile(file);
        if (text.empty()) continue;  // not written yet
        EXPECT_EQ(text, std::string(text.size(), text[0]));
        EXPECT_EQ(text.size(), 4096u + static_cast<unsigned>(text[0] - 'a'));
    }
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(countWithPrefix(file.parent_path(), file.filename().string() + ".tmp-"), 0);
    fs::remove(file);
}

// A new version renamed over the name between the look and the open is looked at in
// turn, so a reader beside a writer that publishes versions as fast as it can is never
// refused. With a single look about one open in a thousand is.
TEST(AtomicFileTest, AVersionRenamedOverTheNameWhileItIsOpenedIsOpenedInstead) {
    const fs::path file = fs::temp_directory_path() / ("atomic-open-" + std::to_string(::getpid()));
    const fs::path next = fs::path(file) += ".next";
    writeFile(file, "0");
    std::atomic<bool> reading = true;
    std::atomic<int> renames = 0;
    std::thread writer([&] {
        while (reading) {
            writeFile(next, "1");
            if (::rename(next.c_str(), file.c_str()) == 0) ++renames;
        }
    });
    // Bounded by the renames the opens ran beside, not by time.
    int opens = 0;
    int refused = 0;
    while (opens < 2000 || renames < 2000) {
        ++opens;
        if (atomic_file::openRegular(file).status != atomic_file::ReadStatus::ok) ++refused;
    }
    reading = false;
    writer.join();
    EXPECT_EQ(refused, 0) << "of " << opens << " opens beside " << renames << " renames";
    fs::remove(file);
    fs::remove(next);
}

}  // namespace
}  // namespace tw
