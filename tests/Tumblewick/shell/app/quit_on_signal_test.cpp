// SIGTERM and SIGINT reach the event loop through a self-pipe written by the handler.
#include "Tumblewick/shell/quit_on_signal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <csignal>

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

}  // namespace
}  // namespace tw
