// Tumblewick's entry point: answers --version without a display, otherwise starts the
// application, puts the circus on screen and runs the event loop until one of the quit
// paths (a signal, the close button, the menu, logout) ends it.
#include <QApplication>
#include <QFile>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Tumblewick/shell/app_delegate.h"
#include "Tumblewick/shell/app_services.h"
#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/display_check.h"
#include "Tumblewick/shell/display_loss.h"
#include "Tumblewick/shell/instance_lock.h"
#include "Tumblewick/shell/relaunch.h"
#include "Tumblewick/shell/transparent_window.h"
#include "Tumblewick/shell/window_entries.h"
#include "Tumblewick/shell/x11_window_hints.h"
#include "platform/desktop_info.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "quit_on_signal.h"

namespace {

// Where XWayland runs the app is an X client, as on an X11 desktop: a Wayland client
// can neither place the strip nor keep it above other windows. Wayland stays the
// fallback for an X server that cannot be reached. An argument rather than
// QT_QPA_PLATFORM, so the programs we start keep their own choice; a -platform the
// user passes comes later and wins.
void preferXWayland(int& argc, char**& argv) {
    if (argc < 1 || !tw::DesktopInfo::current().runsOnXWayland()) return;
    static char platform[] = "-platform";
    static char xcb[] = "xcb;wayland";
    static std::vector<char*> arguments;
    arguments.assign(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, {platform, xcb});
    argc = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    argv = arguments.data();
}

struct Outcome {
    int status = 0;
    bool relaunch = false;
};

// The circus from launch to the end of the quit path. Everything it creates, every
// thread of ours included, is gone when it returns, but for a read of the troupe log
// stalled on its disk at the quit: that thread is left to end on its own, holding its own
// descriptor and nothing of the app's, and it posts, logs and writes nothing.
Outcome runCircus() {
    tw::AppServices services;
    // The windows open clear of the strip, which the delegate makes at launch.
    tw::AppDelegate* strip = nullptr;
    tw::WindowEntries windows = tw::makeWindowEntries(services, [&strip]() -> std::optional<int> {
        if (strip == nullptr || strip->window() == nullptr) return std::nullopt;
        return strip->window()->geometry().top();
    });
    tw::AppDelegate delegate(services, windows);
    strip = &delegate;

    tw::QuitOnSignal quitOnSignal;
    QObject::connect(&quitOnSignal, &tw::QuitOnSignal::signalled, qApp, [](int number) {
        tw::log::info("Quitting on signal " + std::to_string(number) + ".");
        QApplication::quit();
    });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [](QSessionManager&) { QApplication::quit(); });
    QObject::connect(qApp, &QApplication::aboutToQuit, &delegate,
                     [&delegate]() { delegate.applicationWillTerminate(); });

    delegate.applicationDidFinishLaunching();
    tw::QuitPathOnDisplayLoss quitOnDisplayLoss([&delegate]() { delegate.applicationWillTerminate(); });
    tw::log::info(std::string("Tumblewick ") + tw::APP_VERSION + " started.");
    const int status = QApplication::exec();
    return Outcome{status, delegate.relaunchRequested()};
}

}  // namespace

int main(int argc, char** argv) {
    const tw::Relaunch relaunch(argc, argv);
    // A closed stdout, a reader of it that went away or a file-size limit must not end
    // the process with the troupe's events still queued, nor send log lines into a file.
    tw::log::keepStandardStreamsOpen();
    tw::keepRunningWhenWritesFail();

    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "Tumblewick " << tw::APP_VERSION << std::endl;
            return 0;
        }
    }
    if (const auto message = tw::missingXDisplayMessage()) {
        std::cerr << *message << std::endl;
        return 1;
    }
    tw::InstanceLock lock = tw::InstanceLock::acquire(tw::paths::dataDirectory());
    if (lock.state() == tw::InstanceLock::State::heldElsewhere) {
        std::cout << "Tumblewick is already running with the data folder "
                  << tw::paths::dataDirectory().string() << "." << std::endl;
        return 0;
    }

    Outcome outcome;
    // For a relaunch only when /proc/self/exe could not be read at start: Qt reads it as the
    // application object is made, and finds nothing when the binary was replaced before.
    std::string fallbackExecutable;
    // The application object ends here, its X connection closed as at any end, before a
    // relaunch puts a new run in this process.
    {
        preferXWayland(argc, argv);
        QApplication app(argc, argv);
        QApplication::setApplicationName("Tumblewick");
        QApplication::setApplicationVersion(tw::APP_VERSION);
        // Closing a companion window never ends the app; the quit paths do.
        QApplication::setQuitOnLastWindowClosed(false);
        // Without a taskbar entry only the strip and the tray speak for the app.
        tw::applyTaskbarChoice(app);

        outcome = runCircus();
        if (outcome.relaunch)
            fallbackExecutable = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    }
    tw::log::info("Tumblewick stopped.");
    if (outcome.relaunch) {
        lock.release();
        relaunch.run(fallbackExecutable);
    }
    return outcome.status;
}
