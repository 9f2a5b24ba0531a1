// What the stores of the platform layer do when something else than their file stands
// at its path: each row ends without a hang or crash, with defaults or an empty store,
// one log line, and the thing left as it was or (a regular file the suite cannot use)
// set aside.
#include "platform/testing/hostile_files.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/defaults.h"
#include "platform/defaults_file_format.h"
#include "platform/key_value_store.h"
#include "platform/log.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::Hostile;
using testing::hostileKinds;

// Whether `use` opened the thing at `path`, seen through its IN_OPEN events. Links are
// followed, so /dev/zero, which any process may open meanwhile, is not asked about.
bool opens(const fs::path& path, const std::function<void()>& use) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const bool watched = fd >= 0 && ::inotify_add_watch(fd, path.c_str(), IN_OPEN) >= 0;
    use();
    inotify_event event{};
    const bool opened = watched && ::read(fd, &event, sizeof event) > 0;
    if (fd >= 0) ::close(fd);
    return opened;
}

class HostileFilesTest : public ::testing::Test {
   protected:
    void SetUp() override {
        directory_ = testing::freshShortFolder("tw-hostile-");
        log::setSinkForTesting([this](std::string_view line) { logLines_.emplace_back(line); });
    }
    void TearDown() override {
        log::setSinkForTesting(nullptr);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    // A fresh folder per row, with `kind` at `name` in it.
    fs::path place(const std::string& row, const std::string& name, Hostile kind) {
        const fs::path folder = directory_ / std::to_string(rows_++);
        fs::create_directories(folder);
        SCOPED_TRACE(row);
        testing::makeHostile(folder / name, kind);
        logLines_.clear();
        return folder / name;
    }
    int linesNaming(const fs::path& file) const {
        int count = 0;
        for (const auto& line : logLines_) count += line.find(file.string()) != std::string::npos ? 1 : 0;
        return count;
    }
    static std::vector<fs::path> setAside(const fs::path& file) {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(file.parent_path())) {
            if (entry.path().filename().string().rfind(file.filename().string() + ".corrupt-", 0) == 0)
                found.push_back(entry.path());
        }
        return found;
    }

    fs::path directory_;
    int rows_ = 0;
    std::vector<std::string> logLines_;
};

// The standard suite and the group file alike. Root reads a file of mode 000, so that row
// is left out when run as root (the defaults tests run it as another user).
TEST_F(HostileFilesTest, ASettingsSuiteStartsWithDefaultsAndNeverWritesOverWhatStandsAtItsFile) {
    for (const char* name : {"standard.json", "group.tumblewick.json"}) {
        for (const auto& [kind, kindName] : hostileKinds()) {
            if (testing::meaninglessHere(kind)) continue;
            const std::string row = std::string(name) + " as " + kindName;
            const fs::path file = place(row, name, kind);
            const std::string before = testing::fingerprint(file);
            {
                JsonFileDefaults suite(file, 3600);
                EXPECT_FALSE(suite.hasKey("held")) << row;
                suite.setInteger("fresh", 1);
                EXPECT_EQ(suite.integerForKey("fresh"), 1) << row;
                // Only the sparse file is ours to move aside; nothing else may be replaced.
                EXPECT_EQ(suite.flush(), kind == Hostile::sparse) << row;
                EXPECT_EQ(suite.isReadOnly(), kind != Hostile::sparse) << row;
            }  // the destructor saves again
            EXPECT_EQ(linesNaming(file), 1) << row;
            if (kind != Hostile::sparse) {
                EXPECT_EQ(testing::fingerprint(file), before) << row;
                EXPECT_TRUE(setAside(file).empty()) << row;
                continue;
            }
            const auto aside = setAside(file);
            ASSERT_EQ(aside.size(), 1u) << row;
            EXPECT_EQ(testing::fingerprint(aside[0]), before) << row;
            const auto saved = atomic_file::read(file, defaults_file::kMaxFileBytes);
            EXPECT_EQ(decodeDefaultsFile(saved.text).count("fresh"), 1u) << row;
        }
    }
}

// Opening a device can set it going, so nothing but a regular file is opened.
TEST_F(HostileFilesTest, TheKeyValueFileReadsAsUnusableAndIsLeftAsItIs) {
    for (const auto& [kind, kindName] : hostileKinds()) {
        if (testing::meaninglessHere(kind)) continue;
        const fs::path file = place(kindName, "CloudKeyValueStore.json", kind);
        const std::string before = testing::fingerprint(file);
        KeyValuesFile read;
        const bool opened = opens(file, [&] { read = readKeyValuesFile(file); });
        if (kind != Hostile::devZeroLink) {
            EXPECT_EQ(opened, kind == Hostile::sparse) << kindName;  // the one regular file we may open
        }
        EXPECT_EQ(read.status, KeyValuesFile::Status::unusable) << kindName;
        EXPECT_TRUE(read.values.values.empty()) << kindName;
        EXPECT_FALSE(read.problem.empty()) << kindName;
        EXPECT_TRUE(loadKeyValuesFile(file).values.empty()) << kindName;
        EXPECT_EQ(linesNaming(file), 1) << kindName;
        EXPECT_EQ(testing::fingerprint(file), before) << kindName;
    }
}

}  // namespace
}  // namespace tw
