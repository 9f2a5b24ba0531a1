// Tumblewick's entry point: answers --version without a display, otherwise starts
// the application and its event loop, and shuts down cleanly on quit or a signal.
#include <QApplication>
#include <cstring>
#include <iostream>

#include "platform/defaults.h"
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
    QApplication::setQuitOnLastWindowClosed(true);

    tw::JsonFileDefaults standardDefaults(tw::JsonFileDefaults::suiteFile("standard"));

    tw::QuitOnSignal quitOnSignal;
    QObject::connect(&quitOnSignal, &tw::QuitOnSignal::signalled, &app, [](int number) {
        tw::log::info("Quitting on signal " + std::to_string(number) + ".");
        QApplication::quit();
    });
    QObject::connect(&app, &QApplication::aboutToQuit, [&standardDefaults]() {
        if (!standardDefaults.flush()) tw::log::warning("Could not save settings on quit.");
    });

    tw::log::info(std::string("Tumblewick ") + TW_VERSION + " started.");
    const int status = QApplication::exec();
    tw::log::info("Tumblewick stopped.");
    return status;
}
