// The real stage widget in a borderless, translucent strip along the bottom of the
// screen, run for a while on the display in $DISPLAY: reports the frames delivered per
// second and the process's CPU time as a share of one core.
//   stage_window_run [seconds] [rest|full] [screenshot-delay-seconds]
// "full" keeps the meter wound with key presses and a click every 0.3 s.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Tumblewick/stage/qt/tumblewick_view.h"
#include "demo_stage_services.h"
#include "platform/log.h"
#include "platform/qt/qt_main_queue.h"
#include "platform/testing/in_memory_defaults.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const bool full = argc > 2 && std::string(argv[2]) == "full";
    tw::log::setSinkForTesting([](std::string_view) {});

    tw::QtMainQueue queue;
    tw::testing::InMemoryDefaults defaults;
    defaults.setBool("TumblewickCheckForUpdates", false);
    tw::bench::DemoAgentHost host;
    tw::bench::NoCustomFleas fleas;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize size(screen.width(), 150);
    tw::TumblewickView view(size, tw::TumblewickView::Services{queue, defaults, host, fleas, fleas, nullptr});
    view.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    view.setAttribute(Qt::WA_TranslucentBackground);
    view.move(screen.left(), screen.bottom() + 1 - size.height());
    view.show();
    view.stage().updateAvailableVersion = "1.5.0";

    QTimer winder;
    int beat = 0;
    if (full) {
        QObject::connect(&winder, &QTimer::timeout, [&] {
            view.stage().energy.addKeypress();
            view.stage().energy.addKeypress();
            if (++beat % 6 == 0) view.stage().energy.addClick();
        });
        winder.start(50);
    }

    // Measure after a second of warm-up.
    std::int64_t startFrames = 0;
    double startCpu = 0;
    QElapsedTimer wall;
    QTimer::singleShot(1000, [&] {
        startFrames = view.stage().frameCount;
        startCpu = cpuSeconds();
        wall.start();
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
            const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
            const double frames = static_cast<double>(view.stage().frameCount - startFrames);
            std::printf(
                "%s: target %d FPS, delivered %.2f FPS over %.1f s, CPU %.1f%% of one core, %zu particles\n",
                full ? "full energy" : "at rest", view.stage().targetFPS, frames / elapsed, elapsed,
                100 * (cpuSeconds() - startCpu) / elapsed, view.stage().particles.particles.size());
            std::fflush(stdout);
            QApplication::quit();
        });
    });
    return QApplication::exec();
}
