#include "platform/linux/x11_connection.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xutil.h>

#include <cstdlib>

#include <cstring>
#include <mutex>
#include <utility>

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

X11Connection::X11Connection(Display* display)
    : display_(display), xcb_(XGetXCBConnection(display)), root_(XDefaultRootWindow(display)) {}

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

X11Connection::PendingProperty::PendingProperty(xcb_connection_t* connection,
                                                xcb_get_property_cookie_t cookie)
    : connection_(connection), cookie_(cookie) {}

X11Connection::PendingProperty::PendingProperty(PendingProperty&& other) noexcept
    : connection_(other.connection_),
      cookie_(other.cookie_),
      pending_(std::exchange(other.pending_, false)) {}

X11Connection::PendingProperty::~PendingProperty() {
  if (pending_) {
    xcb_discard_reply(connection_, cookie_.sequence);
  }
}

std::optional<std::vector<unsigned char>> X11Connection::PendingProperty::bytes(int wantedFormat) {
  if (!pending_) {
    return std::nullopt;
  }
  pending_ = false;
  // A window gone meanwhile: the property is absent.
  const auto reply = replyTo(connection_, cookie_, xcb_get_property_reply);
  if (!reply || reply->type == XCB_NONE || reply->format != wantedFormat) {
    return std::nullopt;
  }
  const auto* data = static_cast<const unsigned char*>(xcb_get_property_value(reply.get()));
  return std::vector<unsigned char>(data, data + xcb_get_property_value_length(reply.get()));
}

std::optional<std::vector<unsigned long>> X11Connection::PendingProperty::cardinals() {
  const auto raw = bytes(32);
  if (!raw) {
    return std::nullopt;
  }
  // XCB hands 32-bit items out as they came; Xlib's callers expect longs.
  std::vector<unsigned long> values(raw->size() / sizeof(std::uint32_t));
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::uint32_t value = 0;
    std::memcpy(&value, raw->data() + i * sizeof(value), sizeof(value));
    values[i] = value;
  }
  return values;
}

std::optional<std::string> X11Connection::PendingProperty::text() {
  const auto raw = bytes(8);
  if (!raw) {
    return std::nullopt;
  }
  return std::string(raw->begin(), raw->end());
}

X11Connection::PendingProperty X11Connection::ask(Window window, const char* property) {
  const auto cookie =
      xcb_get_property(xcb_, 0, static_cast<xcb_window_t>(window), static_cast<xcb_atom_t>(atom(property)),
                       XCB_GET_PROPERTY_TYPE_ANY, 0, static_cast<std::uint32_t>(kMaxPropertyItems));
  return PendingProperty(xcb_, cookie);
}

std::optional<std::vector<unsigned long>> X11Connection::cardinals(Window window, const char* property) {
  return ask(window, property).cardinals();
}

std::optional<std::string> X11Connection::text(Window window, const char* property) {
  return ask(window, property).text();
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
