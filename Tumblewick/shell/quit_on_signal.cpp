#include "quit_on_signal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>
#include <utility>

#include "platform/log.h"

namespace tw {

namespace {
// The one place a signal handler may write to: the self-pipe. Non-blocking both ways:
// a burst of signals the loop has not read yet must not stall the handler.
int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pipe already holds a quit request: this one may go.
    [[maybe_unused]] auto written = ::write(signalPipe[0], &byte, 1);
    errno = savedErrno;
}

void onFailedWrite(int) {}
}  // namespace

void keepRunningWhenWritesFail() {
    // A handler that does nothing rather than SIG_IGN: an ignored signal stays ignored
    // in the programs we start, a handler does not.
    struct sigaction action {};
    action.sa_handler = onFailedWrite;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &action, nullptr);
    sigaction(SIGXFSZ, &action, nullptr);
}

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        log::warning("Could not watch for quit signals; SIGTERM will end Tumblewick abruptly.");
        return;
    }
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this]() {
        unsigned char byte = 0;
        while (::read(signalPipe[1], &byte, 1) == 1) emit signalled(byte);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        sigaction(kSignals[i], nullptr, &previous_[i]);
        // Started under nohup: the terminal closing is not meant to end us.
        if (kSignals[i] == SIGHUP && previous_[i].sa_handler == SIG_IGN) continue;
        sigaction(kSignals[i], &action, nullptr);
    }
}

QuitOnSignal::~QuitOnSignal() {
    if (notifier_ == nullptr) return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    delete notifier_;
    for (int& fd : signalPipe) ::close(std::exchange(fd, -1));
}

}  // namespace tw
