#include "platform/linux/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstring>
#include <mutex>

namespace wrenfold {
namespace {

// Xlib reports errors through one process-wide handler, on the thread that reads the reply;
// each thread keeps its own record, and the handler stays installed while any trap is open.
thread_local int lastErrorCode = 0;
std::mutex trapMutex;
int openTraps = 0;
int (*savedHandler)(Display*, XErrorEvent*) = nullptr;

int recordError(Display* /*display*/, XErrorEvent* event) {
  lastErrorCode = event->error_code;
  return 0;
}

// Property values longer than this are not ours to read (a window's icon, say).
constexpr long kMaxPropertyItems = 1 << 16;

}  // namespace

std::unique_ptr<X11Connection> X11Connection::open() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    return nullptr;
  }
  return std::unique_ptr<X11Connection>(new X11Connection(display));
}

X11Connection::X11Connection(Display* display) : display_(display), root_(XDefaultRootWindow(display)) {}

X11Connection::~X11Connection() {
  if (timeWindow_ != 0) {
    XDestroyWindow(display_, timeWindow_);
  }
  XCloseDisplay(display_);
}

Atom X11Connection::atom(const char* name) {
  return XInternAtom(display_, name, False);
}

X11Connection::ErrorTrap::ErrorTrap(X11Connection& connection) : connection_(connection) {
  {
    const std::lock_guard lock(trapMutex);
    if (openTraps++ == 0) {
      savedHandler = XSetErrorHandler(&recordError);
    }
  }
  XSync(connection_.display(), False);
  outerErrorCode_ = lastErrorCode;
  lastErrorCode = 0;
}

X11Connection::ErrorTrap::~ErrorTrap() {
  // Errors of requests still in flight must reach our handler, not the default one that exits.
  XSync(connection_.display(), False);
  if (outerErrorCode_ != 0) {
    lastErrorCode = outerErrorCode_;  // an enclosing trap still sees its own error
  }
  const std::lock_guard lock(trapMutex);
  if (--openTraps == 0) {
    XSetErrorHandler(savedHandler);
  }
}

bool X11Connection::ErrorTrap::succeeded() {
  XSync(connection_.display(), False);
  return lastErrorCode == 0;
}

std::optional<std::vector<unsigned char>> X11Connection::rawProperty(Window window, Atom property, Atom type,
                                                                     int& format, unsigned long& items) {
  ErrorTrap trap(*this);
  Atom actualType = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display_, window, property, 0, kMaxPropertyItems, False, type,
                                        &actualType, &format, &items, &remaining, &data);
  if (!trap.succeeded() || status != Success || data == nullptr || actualType == 0) {
    if (data != nullptr) {
      XFree(data);
    }
    return std::nullopt;
  }
  const std::size_t unit = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
  std::vector<unsigned char> bytes(data, data + items * unit);
  XFree(data);
  return bytes;
}

std::optional<std::vector<unsigned long>> X11Connection::cardinals(Window window, const char* property) {
  int format = 0;
  unsigned long items = 0;
  const auto bytes = rawProperty(window, atom(property), AnyPropertyType, format, items);
  if (!bytes || format != 32) {
    return std::nullopt;
  }
  // Xlib hands 32-bit items out as longs.
  std::vector<unsigned long> values(items);
  if (items > 0) {
    std::memcpy(values.data(), bytes->data(), items * sizeof(long));
  }
  return values;
}

std::optional<std::string> X11Connection::text(Window window, const char* property) {
  int format = 0;
  unsigned long items = 0;
  const auto bytes = rawProperty(window, atom(property), AnyPropertyType, format, items);
  if (!bytes || format != 8) {
    return std::nullopt;
  }
  return std::string(bytes->begin(), bytes->end());
}

std::optional<std::pair<std::string, std::string>> X11Connection::windowClass(Window window) {
  const auto value = text(window, "WM_CLASS");
  if (!value) {
    return std::nullopt;
  }
  // Two NUL-terminated strings: instance, then class.
  const auto split = value->find('\0');
  if (split == std::string::npos) {
    return std::pair{*value, std::string()};
  }
  std::string klass = value->substr(split + 1);
  if (const auto end = klass.find('\0'); end != std::string::npos) {
    klass.resize(end);
  }
  return std::pair{value->substr(0, split), klass};
}

Time X11Connection::serverTime() {
  if (timeWindow_ == 0) {
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    timeWindow_ = XCreateWindow(display_, root_, -10, -10, 1, 1, 0, CopyFromParent, InputOnly, nullptr,
                                CWEventMask, &attributes);
  }
  const Atom property = atom("_WRENFOLD_TIMESTAMP");
  const unsigned char nothing = 0;
  XChangeProperty(display_, timeWindow_, property, XA_STRING, 8, PropModeAppend, &nothing, 0);
  XEvent event;
  XWindowEvent(display_, timeWindow_, PropertyChangeMask, &event);
  return event.xproperty.time;
}

}  // namespace wrenfold
