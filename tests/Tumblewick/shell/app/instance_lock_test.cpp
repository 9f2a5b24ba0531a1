// One circus per data folder, whatever sits where the lock file would go.
#include "Tumblewick/shell/instance_lock.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
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

// A process on our abstract socket name, as any local user can start one: returns its
// pid, or -1 when it could not take the name.
pid_t holdName(const std::string& name, bool listens) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool held = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                          (!listens || ::listen(fd, 8) == 0);
        if (!held || ::write(ready[1], "r", 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    pollfd wait{ready[0], POLLIN, 0};
    const bool held = pid > 0 && ::poll(&wait, 1, 10000) == 1 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!held && pid > 0) ::waitpid(pid, nullptr, 0);
    return held ? pid : -1;
}

// Abstract names carry no permissions: another user taking ours must not keep our
// circus from starting, and ours must still keep out our own second launch. The holder
// runs as this user, and the launches take another to be theirs.
TEST_F(InstanceLockTest, AnotherUsersHolderOfTheSocketNameNeverStopsALaunch) {
    const uid_t holderUser = ::geteuid();
    const uid_t launchingUser = holderUser + 1;
    for (const bool listens : {true, false}) {
        SCOPED_TRACE(listens ? "a holder that listens and accepts nothing" : "a holder that does not listen");
        const fs::path data = root / (listens ? "listening" : "bound");
        const pid_t holder = holdName(InstanceLock::socketName(data), listens);
        ASSERT_GT(holder, 0) << "no process could hold the name";
        lines.clear();
        InstanceLock first = InstanceLock::acquire(data, launchingUser);
        EXPECT_EQ(first.state(), State::held);
        EXPECT_EQ(InstanceLock::acquire(data, launchingUser).state(), State::heldElsewhere);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        ASSERT_EQ(lines.size(), 1u);  // from the launch that went on
        const std::string expected = "another user (uid " + std::to_string(holderUser) + ")";
        EXPECT_NE(lines[0].find(listens ? expected : "does not answer"), std::string::npos) << lines[0];
    }
}

}  // namespace
}  // namespace tw
