// SIGTERM, SIGINT and SIGHUP reach the event loop through a self-pipe written by the handler.
#include "Tumblewick/shell/quit_on_signal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/log.h"

namespace tw {
namespace {

// Far more signals than the pipe holds, none read yet: the handler must neither block
// on the full pipe nor leave its own errno to the code it interrupted. Run in a child,
// so that a handler stuck on the pipe ends with the alarm instead of hanging the suite.
TEST(QuitOnSignal, ABurstTheLoopHasNotReadNeitherBlocksTheHandlerNorChangesErrno) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::alarm(20);
            QuitOnSignal quit;
            for (int i = 0; i < 10000; ++i) {
                errno = EDOM;
                std::raise(SIGTERM);
                if (errno != EDOM) ::_exit(2);
            }
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0), "");

    // And the loop still hears a signal once it runs.
    QuitOnSignal quit;
    int heard = 0;
    QObject::connect(&quit, &QuitOnSignal::signalled, [&heard](int number) { heard = number; });
    std::raise(SIGINT);
    QElapsedTimer clock;
    clock.start();
    while (heard == 0 && clock.elapsed() < 5000) QCoreApplication::processEvents();
    EXPECT_EQ(heard, SIGINT);
}

int heardAfterRaising(QuitOnSignal& quit, int number) {
    int heard = 0;
    const auto connection =
        QObject::connect(&quit, &QuitOnSignal::signalled, [&heard](int signal) { heard = signal; });
    std::raise(number);
    QElapsedTimer clock;
    clock.start();
    while (heard == 0 && clock.elapsed() < 5000) QCoreApplication::processEvents();
    QObject::disconnect(connection);
    return heard;
}

// Closing the terminal we were started from quits as SIGTERM does; started under
// nohup, it stays ignored, and what each signal did before comes back afterwards.
TEST(QuitOnSignal, EveryQuitSignalReachesTheLoopAndNohupIsKept) {
    {
        QuitOnSignal quit;
        for (const int number : {SIGINT, SIGTERM, SIGHUP}) EXPECT_EQ(heardAfterRaising(quit, number), number);
    }
    const auto handlerOf = [](int number) {
        struct sigaction current {};
        sigaction(number, nullptr, &current);
        return current.sa_handler;
    };
    EXPECT_EQ(handlerOf(SIGHUP), SIG_DFL);
    std::signal(SIGHUP, SIG_IGN);
    {
        QuitOnSignal quit;
        EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
        EXPECT_EQ(heardAfterRaising(quit, SIGTERM), SIGTERM);
    }
    EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}

// What a child sees of writes that cannot be made: 0 when each failed and it lived on.
int failWritesInThisProcess(const std::filesystem::path& file) {
    keepRunningWhenWritesFail();
    int ends[2];
    if (::pipe(ends) != 0) return 3;
    ::close(ends[0]);
    ::dup2(ends[1], STDOUT_FILENO);
    ::dup2(ends[1], STDERR_FILENO);
    log::setSinkForTesting(nullptr);
    log::info("nobody reads this");
    std::cout << "nor this" << std::endl;
    std::fputs("nor this\n", stderr);
    errno = 0;
    if (::write(STDOUT_FILENO, "x", 1) != -1 || errno != EPIPE) return 4;
    const rlimit none{0, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &none);
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    errno = 0;
    if (::write(fd, "x", 1) != -1 || errno != EFBIG) return 5;
    return 0;
}

// A reader of our output that went away (`tumblewick | head -n 1`) and a file-size
// limit both fail the write; neither ends the process. Run in a child, whose output
// and limits may be spoiled.
TEST(QuitOnSignal, AWriteToAClosedPipeOrPastTheSizeLimitFailsInsteadOfEndingTheApp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path file = std::filesystem::path(::testing::TempDir()) / "tw-write-limit-test";
    EXPECT_EXIT(::_exit(failWritesInThisProcess(file)), ::testing::ExitedWithCode(0), "");
    std::filesystem::remove(file);
}

}  // namespace
}  // namespace tw
