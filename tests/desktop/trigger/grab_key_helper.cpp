// Another X client holding a key: grabs KEYSYM with the modifier MASK (X state bits, no lock
// variants) on the root window, writes "ready" to FILE once the server has granted it, and
// keeps it until ended.
//
//   grab_key_helper KEYSYM MASK --report FILE
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5 || std::string(argv[3]) != "--report") {
    std::fprintf(stderr, "usage: grab_key_helper KEYSYM MASK --report FILE\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return 1;
  }
  const KeyCode keycode = XKeysymToKeycode(display, XStringToKeysym(argv[1]));
  const auto mask = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 0));
  XGrabKey(display, keycode, mask, XDefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync);
  XSync(display, False);  // an error here would have ended the helper
  std::ofstream(argv[4]) << "ready";
  while (true) {
    XEvent event;
    XNextEvent(display, &event);  // the grabbed key's events, ignored
  }
}
