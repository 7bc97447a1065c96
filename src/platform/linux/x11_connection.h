#pragma once

// A private Xlib connection for the back-end's own requests (EWMH properties, activation,
// synthetic keys, captures), kept apart from the toolkit's connection so neither disturbs the
// other's queue. Windows vanish at any time: every request that names another client's window
// runs under an error trap and reports failure instead of ending the process.

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wrenfold {

// A reply taken from XCB, freed as XCB asks.
struct XcbFree {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFree>;

// The reply to a request sent earlier: null when the request failed (a window gone meanwhile).
template <typename Reply, typename Cookie>
[[nodiscard]] XcbReply<Reply> replyTo(xcb_connection_t* connection, Cookie cookie,
                                      Reply* (*read)(xcb_connection_t*, Cookie, xcb_generic_error_t**)) {
  xcb_generic_error_t* error = nullptr;
  XcbReply<Reply> reply(read(connection, cookie, &error));
  std::free(error);
  return reply;
}

class X11Connection {
 public:
  // Opens the display named by $DISPLAY; null when there is none (a Wayland or headless session).
  [[nodiscard]] static std::unique_ptr<X11Connection> open();
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  [[nodiscard]] Display* display() const { return display_; }
  // The same connection through XCB, whose requests can go out together and be answered in one
  // round trip; an error comes back with the reply it belongs to, not through Xlib's handler.
  [[nodiscard]] xcb_connection_t* xcb() const { return xcb_; }
  [[nodiscard]] Window root() const { return root_; }
  [[nodiscard]] Atom atom(const char* name);

  // A property asked for now and read later: asked for together, several properties cost one
  // round trip. Read at most once; one never read is discarded.
  class PendingProperty {
   public:
    PendingProperty(PendingProperty&& other) noexcept;
    PendingProperty& operator=(PendingProperty&&) = delete;
    PendingProperty(const PendingProperty&) = delete;
    PendingProperty& operator=(const PendingProperty&) = delete;
    ~PendingProperty();
    // As X11Connection::cardinals and X11Connection::text; each waits for the reply.
    [[nodiscard]] std::optional<std::vector<unsigned long>> cardinals();
    [[nodiscard]] std::optional<std::string> text();

   private:
    friend class X11Connection;
    PendingProperty(xcb_connection_t* connection, xcb_get_property_cookie_t cookie);
    [[nodiscard]] std::optional<std::vector<unsigned char>> bytes(int wantedFormat);

    xcb_connection_t* connection_;
    xcb_get_property_cookie_t cookie_;
    bool pending_ = true;
  };
  [[nodiscard]] PendingProperty ask(Window window, const char* property);

  // A property of 32-bit items (windows, cardinals, atoms); absent when missing or of another
  // format.
  [[nodiscard]] std::optional<std::vector<unsigned long>> cardinals(Window window, const char* property);
  // A text property (UTF8_STRING or STRING); absent when missing.
  [[nodiscard]] std::optional<std::string> text(Window window, const char* property);
  // WM_CLASS as (instance, class); absent when missing.
  [[nodiscard]] std::optional<std::pair<std::string, std::string>> windowClass(Window window);

  // The X server's current time, learnt from a property change on a window of our own: the
  // timestamp window managers expect with an activation request.
  [[nodiscard]] Time serverTime();

  // Runs requests under a trap: true when none of them raised an X error. Traps nest and may be
  // open on several threads at once, each thread with its own connection.
  class ErrorTrap {
   public:
    explicit ErrorTrap(X11Connection& connection);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // Waits for the server to answer everything sent so far, then reports.
    [[nodiscard]] bool succeeded();

   private:
    X11Connection& connection_;
    int outerErrorCode_ = 0;
  };

 private:
  explicit X11Connection(Display* display);

  Display* display_;
  xcb_connection_t* xcb_;
  Window root_;
  Window timeWindow_ = 0;
};

}  // namespace wrenfold
