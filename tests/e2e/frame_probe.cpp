// Counts the frames windows deliver, as the X server sees them, so that any program's
// frame rate is measured the same way and without its help.
//   frame_probe <seconds> <window id> [<window id> ...]
// Prints one line per window: "<window id> <frames> <seconds> <frames per second>".
// A frame is a burst of drawing into the window: changes less than 4 ms apart belong
// to one frame (a large image may reach the server in several requests). Changes are
// timed by the server as it makes them, so a probe that is itself late to read them
// does not run two frames together.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <sys/select.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Watched {
    Window window = 0;
    Damage damage = 0;
    long frames = 0;
    Time last = 0;  // the server's milliseconds
};

// A window that goes away while we watch ends its count; it does not end the probe.
int ignoreError(Display*, XErrorEvent*) { return 0; }

int usage() {
    std::fprintf(stderr, "usage: frame_probe <seconds> <window id> [<window id> ...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    char* end = nullptr;
    const double seconds = std::strtod(argv[1], &end);
    if (*end != '\0' || !(seconds > 0)) return usage();

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "frame_probe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreError);
    int eventBase = 0;
    int errorBase = 0;
    if (!XDamageQueryExtension(display, &eventBase, &errorBase)) {
        std::fprintf(stderr, "frame_probe: the X server has no DAMAGE extension\n");
        return 1;
    }
    std::vector<Watched> watched;
    for (int i = 2; i < argc; ++i) {
        const unsigned long id = std::strtoul(argv[i], &end, 0);
        if (*end != '\0' || id == 0) return usage();
        Watched w;
        w.window = static_cast<Window>(id);
        w.damage = XDamageCreate(display, w.window, XDamageReportRawRectangles);
        watched.push_back(w);
    }
    XSync(display, False);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const int fd = ConnectionNumber(display);
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != eventBase + XDamageNotify) continue;
            const auto* notify = reinterpret_cast<const XDamageNotifyEvent*>(&event);
            for (Watched& w : watched) {
                if (w.damage != notify->damage) continue;
                // The server's clock is 32 bits of milliseconds and wraps.
                const auto since = static_cast<std::uint32_t>(notify->timestamp - w.last);
                if (w.frames == 0 || since >= 4) ++w.frames;
                w.last = notify->timestamp;
            }
        }
        XFlush(display);
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        timeval timeout{static_cast<time_t>(left.count() / 1000000),
                        static_cast<suseconds_t>(left.count() % 1000000)};
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        select(fd + 1, &readable, nullptr, nullptr, &timeout);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    for (const Watched& w : watched) {
        std::printf("0x%lx %ld %.2f %.1f\n", static_cast<unsigned long>(w.window), w.frames, elapsed,
                    static_cast<double>(w.frames) / elapsed);
    }
    XCloseDisplay(display);
    return 0;
}
