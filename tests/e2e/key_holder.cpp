// Holds one Shift+Super key on the root window, as a desktop's own shortcut does, until
// it is killed; counts the presses it gets. Or asks whether another client holds a grab.
//   key_holder <X key code> [modifiers]
//     with Shift and Super (Mod4) unless told; prints "held" once the grab is the
//     server's, then "press" for each press it gets
//   key_holder --probe <X key code> <modifiers>
//     exits 0 when that grab is free, 3 when another client holds it, 1 on another error
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int probeError = Success;

int noteError(Display*, XErrorEvent* error) {
    probeError = error->error_code;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool probe = argc == 4 && std::strcmp(argv[1], "--probe") == 0;
    const int keycode = probe ? std::atoi(argv[2]) : argc == 2 || argc == 3 ? std::atoi(argv[1]) : 0;
    if (keycode <= 0) {
        std::fprintf(stderr,
                     "usage: key_holder <X key code> [modifiers] | --probe <X key code> <modifiers>\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "key_holder: cannot open the display\n");
        return 1;
    }
    // Super is Mod4 on every keyboard map the tests start with.
    const unsigned modifiers = probe       ? std::strtoul(argv[3], nullptr, 0)
                               : argc == 3 ? std::strtoul(argv[2], nullptr, 0)
                                           : ShiftMask | Mod4Mask;
    if (probe) XSetErrorHandler(noteError);
    XGrabKey(display, keycode, modifiers, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync);
    // A probe lets go of a grab it got in the same batch: held until it quit, the grab
    // could refuse the app's own, which then says another program holds the key.
    if (probe) XUngrabKey(display, keycode, modifiers, DefaultRootWindow(display));
    XSync(display, False);  // when holding, a refusal ends the program through Xlib's error handler
    if (probe) return probeError == BadAccess ? 3 : probeError == Success ? 0 : 1;
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == KeyPress) {
            std::printf("press\n");
            std::fflush(stdout);
        }
    }
}
