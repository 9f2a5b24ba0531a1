#include "Tumblewick/shell/relaunch.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <iostream>

namespace tw {

bool relaunchSelf(const std::vector<std::string>& launchArguments) {
    // Not QCoreApplication::arguments(): Qt has taken its own options out of those.
    QStringList arguments;
    for (std::size_t i = 1; i < launchArguments.size(); ++i)
        arguments << QString::fromLocal8Bit(launchArguments[i].c_str());
    if (QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments)) return true;
    std::cout << "⚠️ Could not restart automatically after display scale change: could not start "
              << QCoreApplication::applicationFilePath().toStdString() << std::endl;
    return false;
}

}  // namespace tw
