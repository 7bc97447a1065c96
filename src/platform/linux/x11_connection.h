#pragma once

// A private Xlib connection for the back-end's own requests (EWMH properties, activation,
// synthetic keys, captures), kept apart from the toolkit's connection so neither disturbs the
// other's queue. Windows vanish at any time: every request that names another client's window
// runs under an error trap and reports failure instead of ending the process.

#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wrenfold {

class X11Connection {
 public:
  // Opens the display named by $DISPLAY; null when there is none (a Wayland or headless session).
  [[nodiscard]] static std::unique_ptr<X11Connection> open();
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  [[nodiscard]] Display* display() const { return display_; }
  [[nodiscard]] Window root() const { return root_; }
  [[nodiscard]] Atom atom(const char* name);

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
  [[nodiscard]] std::optional<std::vector<unsigned char>> rawProperty(Window window, Atom property, Atom type,
                                                                      int& format, unsigned long& items);

  Display* display_;
  Window root_;
  Window timeWindow_ = 0;
};

}  // namespace wrenfold
