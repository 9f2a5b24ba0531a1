// One circus per data folder, whatever sits where the lock file would go.
#include "Tumblewick/shell/instance_lock.h"

#include <grp.h>
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

// A process of another user sitting on an abstract socket name, as any local user can.
class ForeignHolder {
   public:
    static constexpr uid_t nobody = 65534;

    // The child says how it went in one byte: 'r' ready, 'u' could not become nobody,
    // 's' could not take the name.
    ForeignHolder(const std::string& name, bool listens) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(pipeFds[0]);
            char status = 'r';
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
                status = 'u';
            } else {
                const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
                    (listens && ::listen(fd, 8) != 0))
                    status = 's';
            }
            if (::write(pipeFds[1], &status, 1) != 1) ::_exit(1);
            ::pause();  // holds the name until killed
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        pollfd wait{pipeFds[0], POLLIN, 0};
        if (pid_ > 0 && ::poll(&wait, 1, 10000) == 1 && ::read(pipeFds[0], &status_, 1) != 1) status_ = 0;
        ::close(pipeFds[0]);
    }
    ~ForeignHolder() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    char status() const { return status_; }

   private:
    pid_t pid_ = -1;
    char status_ = 0;
};

// Abstract names carry no permissions: another user taking ours must not keep our
// circus from starting, and ours must still keep out our own second launch.
TEST_F(InstanceLockTest, AnotherUsersHolderOfTheSocketNameNeverStopsALaunch) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a holder as another user";
    for (const bool listens : {true, false}) {
        SCOPED_TRACE(listens ? "a holder that listens and accepts nothing" : "a holder that does not listen");
        const fs::path data = root / (listens ? "listening" : "bound");
        ForeignHolder holder(InstanceLock::socketName(data), listens);
        if (holder.status() == 'u') GTEST_SKIP() << "cannot run a process as uid 65534 here";
        ASSERT_EQ(holder.status(), 'r');

        lines.clear();
        InstanceLock first = InstanceLock::acquire(data);
        EXPECT_EQ(first.state(), State::held);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(listens ? "another user (uid 65534)" : "does not answer"), std::string::npos)
            << lines[0];
        lines.clear();
        EXPECT_EQ(InstanceLock::acquire(data).state(), State::heldElsewhere);
        EXPECT_TRUE(lines.empty()) << lines.front();
    }
}

}  // namespace
}  // namespace tw
