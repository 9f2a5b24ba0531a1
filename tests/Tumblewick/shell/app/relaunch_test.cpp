// What a relaunch hands the new run: only the standard streams among its descriptors.
#include "Tumblewick/shell/relaunch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/log.h"

namespace tw {
namespace {

// close_range answers ENOSYS from here on, as on a kernel before 5.11.
bool refuseCloseRange() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_close_range, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

bool closesOnExec(int fd) { return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; }

// Run in a child: the filter stays with the process that installs it.
TEST(Relaunch, OnlyTheStandardStreamsOutliveTheExecAlsoWhereCloseRangeIsRefused) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool refused : {false, true}) {
        EXPECT_EXIT(
            {
                std::vector<std::string> lines;
                log::setSinkForTesting([&](std::string_view line) { lines.emplace_back(line); });
                if (refused && !refuseCloseRange()) std::_Exit(2);
                int pipeEnds[2];
                if (::pipe(pipeEnds) != 0) std::_Exit(3);
                keepOnlyStandardStreamsAcrossExec();
                const bool marked = closesOnExec(pipeEnds[0]) && closesOnExec(pipeEnds[1]) &&
                                    !closesOnExec(STDIN_FILENO) && !closesOnExec(STDERR_FILENO);
                // Said once where close_range was refused, else nothing.
                std::_Exit(marked && lines.size() == (refused ? 1u : 0u) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << (refused ? "close_range refused" : "close_range");
    }
}

}  // namespace
}  // namespace tw
