// One circus per data folder, whatever sits where the lock file would go.
#include "Tumblewick/shell/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/log.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using State = InstanceLock::State;

class InstanceLockTest : public ::testing::Test {
   protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "tw-lock-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        log::setSinkForTesting([this](std::string_view line) { lines.emplace_back(line); });
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        fs::remove_all(root);
    }
    fs::path root;
    std::vector<std::string> lines;
};

TEST_F(InstanceLockTest, ASecondLaunchOnTheFolderIsStoppedWhateverSitsAtTheLockPath) {
    struct Row {
        const char* what;
        std::function<fs::path(const fs::path& root)> prepare;  // returns the data folder
    };
    const Row rows[] = {
        {"a lock file", [](const fs::path& r) { return r / "data"; }},
        {"a directory",
         [](const fs::path& r) {
             fs::create_directories(r / "data" / InstanceLock::fileName);
             return r / "data";
         }},
        {"a link to a file",
         [](const fs::path& r) {
             std::ofstream(r / "elsewhere") << "kept";
             fs::create_directories(r / "data");
             fs::create_symlink(r / "elsewhere", r / "data" / InstanceLock::fileName);
             return r / "data";
         }},
        {"a dangling link",
         [](const fs::path& r) {
             fs::create_directories(r / "data");
             fs::create_symlink(r / "nowhere", r / "data" / InstanceLock::fileName);
             return r / "data";
         }},
        {"a FIFO",
         [](const fs::path& r) {
             fs::create_directories(r / "data");
             ::mkfifo((r / "data" / InstanceLock::fileName).c_str(), 0600);
             return r / "data";
         }},
        {"no folder: its parent is a file",
         [](const fs::path& r) {
             std::ofstream(r / "file") << "";
             return r / "file" / "data";
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(root);
        fs::create_directories(root);
        const fs::path data = row.prepare(root);
        const auto before = fs::symlink_status(data / InstanceLock::fileName).type();

        InstanceLock first = InstanceLock::acquire(data);
        EXPECT_EQ(first.state(), State::held);
        lines.clear();
        // Another spelling of the same folder meets the same lock, and says nothing.
        EXPECT_EQ(InstanceLock::acquire(data).state(), State::heldElsewhere);
        EXPECT_EQ(InstanceLock::acquire(data / ".." / data.filename()).state(), State::heldElsewhere);
        EXPECT_TRUE(lines.empty()) << lines.front();
        first.release();
        EXPECT_EQ(InstanceLock::acquire(data).state(), State::held);

        // Not ours: left as it was.
        if (before != fs::file_type::not_found) {
            EXPECT_EQ(fs::symlink_status(data / InstanceLock::fileName).type(), before);
        }
        if (fs::exists(root / "elsewhere")) {
            std::string text;
            std::ifstream(root / "elsewhere") >> text;
            EXPECT_EQ(text, "kept");
        }
    }
}

}  // namespace
}  // namespace tw
