#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform/geometry.h"

namespace wrenfold {

// The input method's view of the field the user types in: its input context, as Wrenfold's
// addon inside the input method reports it.
struct InputContextState {
  bool focused = false;      // the context has the keyboard now
  bool refusesText = false;  // the program marked it a password or sensitive field
  std::string program;       // as the program named itself to the input method
  // The text around the caret (often only its paragraph), absent where the program reports none;
  // caret and anchor count code points in it.
  std::optional<std::string> surroundingText;
  std::uint32_t cursor = 0;
  std::uint32_t anchor = 0;
  std::optional<Rect> cursorRect;   // where the program last put the caret, in its frontend's space
  bool cursorRectOnScreen = false;  // true on X11, where frontends report screen coordinates
  bool operator==(const InputContextState&) const = default;
};

enum class InputMethodStatus {
  absent,        // no Fcitx 5 on the session bus
  withoutAddon,  // Fcitx 5 runs, without Wrenfold's addon loaded
  refusesUs,     // the addon answers only the installed Wrenfold, and this is another one
  ready,
};

enum class CommitResult {
  committed,  // handed to the program through its input context
  gone,       // the context no longer exists, or the input method does not answer
  refused,    // a password or sensitive field
  unfocused,  // the context does not have the keyboard
};

// Commits text into another program's field through the input method, the way the user's own
// typing arrives. Only the context remembered at the start of a cycle is ever written, and never
// one of Wrenfold's own windows. Main thread only; each call is a short round trip.
class InputMethod {
 public:
  InputMethod() = default;
  virtual ~InputMethod() = default;
  InputMethod(const InputMethod&) = delete;
  InputMethod& operator=(const InputMethod&) = delete;

  // Remembers the input context holding the keyboard now, unless it is Wrenfold's own, and names
  // it by a ticket; absent when none has the focus or the input method does not answer.
  [[nodiscard]] virtual std::optional<std::uint64_t> rememberFocused() = 0;
  // The remembered context now; absent when it is gone or the input method does not answer.
  [[nodiscard]] virtual std::optional<InputContextState> state(std::uint64_t ticket) = 0;
  // Commits `text` into the remembered context; `gone` when the input method does not answer.
  [[nodiscard]] virtual CommitResult commit(std::uint64_t ticket, std::string_view text) = 0;
  // Whether the route is there, for the settings; may wait up to a second, so asked off the main
  // thread (the only call that may be). `absent` when nothing answers.
  [[nodiscard]] virtual InputMethodStatus status() = 0;
};

}  // namespace wrenfold
