#include "quit_on_signal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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
}  // namespace

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
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (notifier_ == nullptr) return;
    delete notifier_;
    for (int& fd : signalPipe) ::close(std::exchange(fd, -1));
}

}  // namespace tw
