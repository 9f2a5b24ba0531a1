// Tumblewick's entry point: answers --version without a display, otherwise starts the
// application, puts the circus on screen and runs the event loop until one of the quit
// paths (a signal, the close button, the menu, logout) ends it.
#include <QApplication>
#include <cstring>
#include <iostream>
#include <vector>

#include "Tumblewick/shell/app_delegate.h"
#include "Tumblewick/shell/app_services.h"
#include "Tumblewick/shell/configuration/configuration.h"
#include "Tumblewick/shell/window_entries.h"
#include "Tumblewick/shell/x11_window_hints.h"
#include "agent/host/tumblewick_agent_host.h"
#include "platform/desktop_info.h"
#include "platform/log.h"
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

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "Tumblewick " << tw::APP_VERSION << std::endl;
            return 0;
        }
    }

    preferXWayland(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tumblewick");
    QApplication::setApplicationVersion(tw::APP_VERSION);
    // Closing a companion window never ends the app; the quit paths below do.
    QApplication::setQuitOnLastWindowClosed(false);
    // Without a taskbar entry only the strip and the tray speak for the app.
    tw::applyTaskbarChoice(app);

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
    tw::log::info(std::string("Tumblewick ") + tw::APP_VERSION + " started.");
    const int status = QApplication::exec();
    tw::log::info("Tumblewick stopped.");
    return status;
}
