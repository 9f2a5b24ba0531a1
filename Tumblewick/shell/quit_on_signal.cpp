#include "quit_on_signal.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "platform/log.h"

namespace tw {

namespace {
// The one place a signal handler may write to: the self-pipe.
int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] auto written = ::write(signalPipe[0], &byte, 1);
}
}  // namespace

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        log::warning("Could not watch for quit signals; SIGTERM will end Tumblewick abruptly.");
        return;
    }
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this]() {
        unsigned char byte = 0;
        if (::read(signalPipe[1], &byte, 1) == 1) emit signalled(byte);
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
}

}  // namespace tw
