#pragma once
// When the X server goes away, main never returns: the toolkit ends the process from
// inside the event loop (a warning that the X11 connection broke, then exit(1)), and
// so does Xlib's I/O error handler for every Xlib connection, the input source's own
// included. Both are caught just before that exit so the quit path still runs; an
// exit-time hook would be too late, as the main thread's thread_local objects (the
// troupe's line decoder among them) are destroyed first.
#include <functional>

namespace tw {

class QuitPathOnDisplayLoss {
   public:
    // Main thread, after the application object (whose X11 platform installs Xlib's
    // handler) exists. While this object lives, a broken X connection found on the
    // main thread runs `quitPath` once, then ends the process with status 1 at once:
    // the threads the quit path leaves running must not meet the static destructors.
    explicit QuitPathOnDisplayLoss(std::function<void()> quitPath);
    ~QuitPathOnDisplayLoss();  // puts the previous handlers back
    QuitPathOnDisplayLoss(const QuitPathOnDisplayLoss&) = delete;
    QuitPathOnDisplayLoss& operator=(const QuitPathOnDisplayLoss&) = delete;
};

}  // namespace tw
