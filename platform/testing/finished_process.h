#pragma once
// A process id that belonged to a process a moment ago and now to none, for tests of
// files left behind by a writer that is gone.
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace tw::testing {

inline pid_t finishedProcessId() {
    const pid_t child = ::fork();
    if (child == 0) std::_Exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

}  // namespace tw::testing
