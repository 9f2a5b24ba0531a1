#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

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

    static constexpr const char* kNames[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
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
    EXPECT_TRUE(paths::ensureDirectory(home_ / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(home_ / "a" / "b"));
    std::ofstream(home_ / "file") << "x";
    EXPECT_FALSE(paths::ensureDirectory(home_ / "file" / "sub"));
}

}  // namespace
}  // namespace tw
