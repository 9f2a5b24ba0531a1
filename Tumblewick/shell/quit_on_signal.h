#pragma once
// Turns SIGINT and SIGTERM into a clean QCoreApplication::quit(), so quitting from a
// terminal or a session manager still runs the shutdown path (defaults flushed).
#include <QObject>
#include <QSocketNotifier>

namespace tw {

class QuitOnSignal final : public QObject {
    Q_OBJECT
   public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

   signals:
    void signalled(int signalNumber);

   private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tw
