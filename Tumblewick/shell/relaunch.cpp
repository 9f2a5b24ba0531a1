#include "Tumblewick/shell/relaunch.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <iostream>

namespace tw {

bool relaunchSelf() {
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty()) arguments.removeFirst();
    if (QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments)) return true;
    std::cout << "⚠️ Could not restart automatically after display scale change: could not start "
              << QCoreApplication::applicationFilePath().toStdString() << std::endl;
    return false;
}

}  // namespace tw
