#include "Tumblewick/shell/relaunch.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/log.h"

namespace tw {

namespace {

// The path this process was started from; empty, with `error` set, when it cannot be read.
std::string executablePath(std::string& error) {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) {
            error = std::strerror(errno);
            return {};
        }
        // A full buffer may have cut the path short.
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

void keepOnlyStandardStreamsAcrossExec() {
    if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    // A kernel before 5.11 (or a seccomp filter) refuses it: each open one is marked instead.
    log::warning(std::string("Could not mark this run's descriptors to close on restart (close_range: ") +
                 std::strerror(errno) + "): marking each one listed in /proc/self/fd");
    DIR* listing = ::opendir("/proc/self/fd");
    if (listing == nullptr) {
        log::warning(std::string("Could not list /proc/self/fd (") + std::strerror(errno) +
                     "): the new run may hold descriptors of this one");
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd <= STDERR_FILENO) continue;
        const int flags = ::fcntl(static_cast<int>(fd), F_GETFD);
        if (flags >= 0) ::fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
    }
    ::closedir(listing);
}

Relaunch::Relaunch(int argc, char** argv) : arguments_(argv, argv + argc) {
    ::pthread_sigmask(SIG_SETMASK, nullptr, &launchMask_);
    executable_ = executablePath(executableError_);
}

bool Relaunch::run(const std::string& fallback) const {
    std::string executable = executable_;
    if (executable.empty()) {
        executable = fallback;
        log::warning("Could not read /proc/self/exe at start (" + executableError_ + "): restarting \"" +
                     executable + "\"");
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments_) argv.push_back(const_cast<char*>(argument.c_str()));
    if (argv.empty()) argv.push_back(const_cast<char*>(executable.c_str()));
    argv.push_back(nullptr);

    // What this run wrote must not be lost with its buffers.
    std::cout.flush();
    std::fflush(nullptr);
    keepOnlyStandardStreamsAcrossExec();
    // The quit signals must reach the new run as they reached this one at launch;
    // their dispositions are already back to the launch's (QuitOnSignal puts them back).
    ::pthread_sigmask(SIG_SETMASK, &launchMask_, nullptr);
    ::execv(executable.c_str(), argv.data());

    log::warning(std::string("Could not restart in place (") + std::strerror(errno) +
                 "): the new Tumblewick starts apart from this terminal.");
    QStringList arguments;
    for (std::size_t i = 1; i < arguments_.size(); ++i)
        arguments << QString::fromLocal8Bit(arguments_[i].c_str());
    if (QProcess::startDetached(QFile::decodeName(executable.c_str()), arguments)) return true;
    log::warning("Could not restart automatically after display scale change: could not start " + executable);
    return false;
}

}  // namespace tw
