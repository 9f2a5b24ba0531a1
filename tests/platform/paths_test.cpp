#include "platform/paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/log.h"
#include "platform/testing/hostile_files.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// Points HOME and the XDG variables at a scratch folder and puts them back afterwards.
class PathsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.emplace_back(value ? std::optional<std::string>(value) : std::nullopt);
        }
        home_ = fs::temp_directory_path() / ("tw-paths-" + std::to_string(::getpid()));
        fs::create_directories(home_ / "config");
        ::setenv("HOME", home_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
        ::setenv("XDG_STATE_HOME", "relative/state", 1);
    }
    void TearDown() override {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (saved_[i]) {
                ::setenv(kNames[i], saved_[i]->c_str(), 1);
            } else {
                ::unsetenv(kNames[i]);
            }
        }
        fs::remove_all(home_);
    }
    void writeUserDirs(const std::string& text) {
        std::ofstream(home_ / "config" / "user-dirs.dirs") << text;
    }

    static constexpr const char* kNames[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"};
    std::vector<std::optional<std::string>> saved_;
    fs::path home_;
};

TEST_F(PathsTest, DesktopComesFromUserDirsElseHomeDesktop) {
    EXPECT_EQ(paths::desktopDirectory(), home_ / "Desktop");
    writeUserDirs(
        "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
        "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(paths::desktopDirectory(), home_ / "Schreibtisch");
    writeUserDirs("XDG_DESKTOP_DIR=\"/srv/shared desk\"\n");
    EXPECT_EQ(paths::desktopDirectory(), fs::path("/srv/shared desk"));
    writeUserDirs("XDG_DESKTOP_DIR=Desktop\n");  // unquoted and relative: not valid
    EXPECT_EQ(paths::desktopDirectory(), home_ / "Desktop");
}

TEST_F(PathsTest, AFolderFileThatIsNoFileMeansHomeDesktopAndIsLeftAsItIs) {
    const fs::path file = home_ / "config" / "user-dirs.dirs";
    for (const auto& [kind, name] : testing::hostileKinds()) {
        if (testing::meaninglessHere(kind)) continue;  // root reads a file of mode 000
        testing::makeHostile(file, kind);
        const std::string before = testing::fingerprint(file);
        EXPECT_EQ(paths::desktopDirectory(), home_ / "Desktop") << name;
        EXPECT_EQ(testing::fingerprint(file), before) << name;
        fs::remove_all(file);
    }
}

TEST_F(PathsTest, XdgFoldersAndEnsureDirectory) {
    EXPECT_EQ(paths::configDirectory(), home_ / "config" / "tumblewick");
    EXPECT_EQ(paths::dataDirectory(), home_ / ".local" / "share" / "Tumblewick");
    EXPECT_EQ(paths::hiddenDirectory(), home_ / ".tumblewick");
    EXPECT_EQ(paths::stateDirectory(), home_ / ".local" / "state" / "tumblewick");
    ::setenv("XDG_STATE_HOME", (home_ / "state").c_str(), 1);
    EXPECT_EQ(paths::stateDirectory(), home_ / "state" / "tumblewick");
    EXPECT_TRUE(paths::ensureDirectory(home_ / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(home_ / "a" / "b"));
    std::ofstream(home_ / "file") << "x";
    EXPECT_FALSE(paths::ensureDirectory(home_ / "file" / "sub"));
}

// Handed to a file manager: a name that is not UTF-8 keeps its bytes.
TEST(FileUriTest, EveryByteOfThePathSurvives) {
    EXPECT_EQ(fileUri("/home/pip/Bureau-\xe9t\xe9/a b%.md"), "file:///home/pip/Bureau-%E9t%E9/a%20b%25.md");
    EXPECT_EQ(fileUri("/d/caf\u00e9#1?"), "file:///d/caf%C3%A9%231%3F");
}

// As a relative XDG value is: files would land under the folder the app started in.
TEST_F(PathsTest, ARelativeHomeIsIgnoredForTheAccountsHomeAndSaidOnce) {
    std::vector<std::string> lines;
    log::setSinkForTesting([&lines](std::string_view line) { lines.emplace_back(line); });
    static int run = 0;  // a value said once per process: a new one each repeat
    const std::string home = "relative/home" + std::to_string(++run);
    ::setenv("HOME", home.c_str(), 1);
    const fs::path accountHome = ::getpwuid(::getuid())->pw_dir;
    EXPECT_EQ(paths::homeDirectory(), accountHome);
    EXPECT_EQ(paths::hiddenDirectory(), accountHome / ".tumblewick");
    EXPECT_EQ(paths::desktopDirectory(), accountHome / "Desktop");
    log::setSinkForTesting(nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("HOME is set to the relative path \"" + home + "\""), std::string::npos)
        << lines[0];
}

}  // namespace
}  // namespace tw
