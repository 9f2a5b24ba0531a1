#include "Tumblewick/shell/display_loss.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <utility>

#include "platform/log.h"

// Xlib's macros clash with Qt's names: keep it last.
#include <X11/Xlib.h>

namespace tw {

namespace {

std::function<void()> pendingQuitPath;
std::thread::id mainThread;
QtMessageHandler previousMessageHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

[[noreturn]] void quitAndExit(const std::string& why) {
    log::warning(why + ": closing the troupe session before Tumblewick ends.");
    try {
        std::exchange(pendingQuitPath, nullptr)();
    } catch (const std::exception& error) {
        log::warning(std::string("The quit path failed: ") + error.what());
    }
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(1);
}

bool armedHere() { return pendingQuitPath && std::this_thread::get_id() == mainThread; }

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (previousMessageHandler != nullptr) {
        previousMessageHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
    }
    // The toolkit's own connection: it says so, then calls exit(1).
    if (type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke")) && armedHere())
        quitAndExit("The X server went away");
}

int onIOError(Display* display) {
    if (armedHere()) quitAndExit(std::string("The X server at ") + DisplayString(display) + " went away");
    return previousIOErrorHandler(display);  // ends the process
}

}  // namespace

QuitPathOnDisplayLoss::QuitPathOnDisplayLoss(std::function<void()> quitPath) {
    pendingQuitPath = std::move(quitPath);
    mainThread = std::this_thread::get_id();
    previousMessageHandler = qInstallMessageHandler(onMessage);
    previousIOErrorHandler = XSetIOErrorHandler(onIOError);
}

QuitPathOnDisplayLoss::~QuitPathOnDisplayLoss() {
    XSetIOErrorHandler(previousIOErrorHandler);
    qInstallMessageHandler(previousMessageHandler);
    pendingQuitPath = nullptr;
}

}  // namespace tw
