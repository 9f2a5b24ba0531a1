// Tumblewick's entry point: answers --version without a display, otherwise starts the
// application, puts the circus on screen and runs the event loop until one of the quit
// paths (a signal, the close button, the menu, logout) ends it.
#include <QApplication>
#include <cstring>
#include <iostream>

#include "Tumblewick/shell/app_delegate.h"
#include "Tumblewick/shell/app_services.h"
#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/window_entries.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/log.h"
#include "quit_on_signal.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "Tumblewick " << TW_VERSION << std::endl;
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Tumblewick");
    QApplication::setApplicationVersion(TW_VERSION);
    // Closing a companion window never ends the app; the quit paths below do.
    QApplication::setQuitOnLastWindowClosed(false);
    // Without a taskbar entry only the strip and the tray speak for the app.
    if (tw::envBool("TUMBLEWICK_DOCK_ICON") == false) QApplication::setDesktopFileName(QString());

    tw::AppServices services;
    tw::WindowEntries windows = tw::makeWindowEntries(services);
    tw::AppDelegate delegate(services, windows);

    tw::QuitOnSignal quitOnSignal;
    QObject::connect(&quitOnSignal, &tw::QuitOnSignal::signalled, &app, [](int number) {
        tw::log::info("Quitting on signal " + std::to_string(number) + ".");
        QApplication::quit();
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [](QSessionManager&) { QApplication::quit(); });
    QObject::connect(&app, &QApplication::aboutToQuit,
                     [&delegate]() { delegate.applicationWillTerminate(); });

    delegate.applicationDidFinishLaunching();
    tw::log::info(std::string("Tumblewick ") + TW_VERSION + " started.");
    const int status = QApplication::exec();
    tw::log::info("Tumblewick stopped.");
    return status;
}
