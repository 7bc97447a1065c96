#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/context/context_snapshot.h"
#include "core/platform/accessibility.h"
#include "core/platform/clock.h"
#include "core/records/assistant_error.h"
#include "core/support/failure.h"
#include "core/target/focused_target.h"

namespace wrenfold {

// Reads the focused element's selection and text and the visible text of its window, and
// grades the result. The walk is bounded in depth, elements, text and time so that a huge or
// hung window never stalls the trigger. Main thread only.
class AccessibilityReader {
 public:
  // How the walk decides that enough text has been gathered. Both stop at the same element;
  // rejoining is the plain way, kept as the reference for tests and the benchmark.
  enum class LengthCheck { runningLength, rejoin };

  struct Options {
    std::size_t maxTextLength = 8000;  // characters of window text kept
    std::size_t maxNodes = 500;        // elements entered in one walk
    // Each read is a round trip to another process: the whole read (selection, field, walk)
    // waits no longer than this, and the walk stops where it is.
    std::chrono::milliseconds walkBudget{1500};
    LengthCheck lengthCheck = LengthCheck::runningLength;
  };

  static constexpr int kMaxDepth = 11;                  // the window is depth 0
  static constexpr std::size_t kMaxFieldLength = 2000;  // selected text, focused text

  AccessibilityReader(Accessibility& accessibility, const Clock& clock)
      : AccessibilityReader(accessibility, clock, Options{}) {}
  AccessibilityReader(Accessibility& accessibility, const Clock& clock, Options options)
      : ax_(accessibility), clock_(clock), options_(options) {}

  // Fails with contextUnavailable when the target has no focused element.
  [[nodiscard]] Result<ContextSnapshot> read(const FocusedTarget& target) const;
  // The window text under `root`: trimmed lines, consecutive duplicates dropped, joined with
  // line feeds (not yet cut to maxTextLength). When the walk ends at its element or time limit
  // before it meets `focused`, the focused field's own text (`focusedText`) comes first, so a
  // field deep in a large window (a word processor's page) is still part of the context.
  [[nodiscard]] std::string collectVisibleText(
      const AccessibilityElement& root, const std::optional<AccessibilityElement>& focused = std::nullopt,
      const std::optional<std::string>& focusedText = std::nullopt) const;

 private:
  struct Walk;
  // The last whole walk, reused while its application reports no change and the focused field
  // (read live each time) holds the same text.
  struct KeptWalk {
    AccessibilityElement root;
    std::optional<AccessibilityElement> focused;
    std::optional<std::string> focusedText;
    std::uint64_t stamp = 0;
    std::string text;
  };
  [[nodiscard]] std::string windowText(const AccessibilityElement& root, const AccessibilityElement& focused,
                                       const std::optional<std::string>& focusedText,
                                       std::chrono::steady_clock::time_point deadline) const;
  void walk(const AccessibilityElement& element, int depth, Walk& state) const;
  [[nodiscard]] bool longEnough(const Walk& state) const;

  Accessibility& ax_;
  const Clock& clock_;
  Options options_;
  mutable std::optional<KeptWalk> kept_;
};

}  // namespace wrenfold
