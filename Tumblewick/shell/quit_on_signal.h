#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into a clean QCoreApplication::quit(), so quitting
// from a terminal, closing that terminal or a session manager still runs the shutdown
// path (defaults flushed, the troupe session closed).
#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <iterator>

namespace tw {

// Signals whose default action ends the process in the middle of a write: a reader
// of our output that went away (SIGPIPE) or a file-size limit (SIGXFSZ). Afterwards
// such a write only fails, and the writers report it. Call first thing in main().
void keepRunningWhenWritesFail();

class QuitOnSignal final : public QObject {
    Q_OBJECT
   public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;  // puts back what the signals did before

   signals:
    void signalled(int signalNumber);

   private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previous_[std::size(kSignals)]{};
};

}  // namespace tw
