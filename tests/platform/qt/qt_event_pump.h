#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

// Runs the event loop until `done` holds or `seconds` of real time pass.
inline bool pumpUntil(const std::function<bool()>& done, double seconds = 5.0) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
