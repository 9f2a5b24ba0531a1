// Holds one Shift+Super key on the root window, as a desktop's own shortcut does, until
// it is killed; counts the presses it gets.
//   key_holder <X key code>
// Prints "held" once the grab is the server's, then "press" for each press it gets.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int keycode = argc == 2 ? std::atoi(argv[1]) : 0;
    if (keycode <= 0) {
        std::fprintf(stderr, "usage: key_holder <X key code>\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "key_holder: cannot open the display\n");
        return 1;
    }
    // Super is Mod4 on every keyboard map the tests run with.
    XGrabKey(display, keycode, ShiftMask | Mod4Mask, DefaultRootWindow(display), False, GrabModeAsync,
             GrabModeAsync);
    XSync(display, False);  // a refusal ends the program through Xlib's error handler
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
