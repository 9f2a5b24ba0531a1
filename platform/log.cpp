#include "platform/log.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

namespace tw::log {

namespace {

struct LogState {
    // Recursive so a test sink that itself logs cannot deadlock.
    std::recursive_mutex mutex;
    Sink sink;
    bool syslogOpen = false;
};

LogState& state() {
    static LogState instance;
    return instance;
}

void print(std::string_view line, std::FILE* stream) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

void emit(std::string_view line, bool toSystemLog) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.sink) {
        s.sink(line);
        return;
    }
    if (!toSystemLog) {
        print(line, stdout);
        return;
    }
    if (!s.syslogOpen) {
        openlog("Tumblewick", LOG_PID, LOG_USER);
        s.syslogOpen = true;
    }
    const std::string text(line);
    syslog(LOG_ERR, "%s", text.c_str());
    // Started from a terminal, the user reads them there as well.
    print(line, stderr);
}

std::string prefixed(std::string_view prefix, std::string_view message) {
    std::string line;
    line.reserve(prefix.size() + message.size());
    line += prefix;
    line += message;
    return line;
}

}  // namespace

void info(std::string_view message) { emit(prefixed("ℹ️ ", message), false); }

void warning(std::string_view message) { emit(prefixed("⚠️ ", message), false); }

void plain(std::string_view message) { emit(message, false); }

void system(std::string_view message) { emit(prefixed("[Troupe] ", message), true); }

void keepStandardStreamsOpen() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is this one: the ones below it are open.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) ::close(opened);
    }
}

void setSinkForTesting(Sink sink) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(sink);
}

}  // namespace tw::log
