#pragma once

// Every libatspi call the back-end makes, behind one seam. Each call is a blocking D-Bus round
// trip; how long it may wait, and when its application is taken for hung and left alone for a
// while, is `CallPatience`'s: a slow application keeps being read within the reader's bound, and
// one hung program costs one hang bound per trigger instead of one per element.
// Main thread only.

#include <atspi/atspi.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/platform/accessibility.h"
#include "core/platform/geometry.h"
#include "platform/linux/atspi_handle.h"
#include "platform/linux/atspi_tree_fetch.h"
#include "platform/linux/call_patience.h"

namespace wrenfold {

// A set of AtspiStateType values.
class AtspiStates {
 public:
  AtspiStates() = default;
  explicit AtspiStates(std::uint64_t bits) : bits_(bits) {}
  [[nodiscard]] bool has(AtspiStateType state) const {
    return (bits_ >> static_cast<unsigned>(state) & 1U) != 0;
  }

 private:
  std::uint64_t bits_ = 0;
};

// A range of toolkit character offsets, [start, end).
struct ToolkitRange {
  std::int64_t start = 0;
  std::int64_t end = 0;
};

class AtspiCalls {
 public:
  struct Limits {
    // An application that answers nothing this long, over one call or several, is hung.
    std::chrono::milliseconds hangTimeout{2000};
    std::chrono::milliseconds hungPause{3000};
    // Text writes wait this long, and only a write not answered by then counts as a hang.
    std::chrono::milliseconds writeTimeout{2500};
  };

  explicit AtspiCalls(Limits limits);
  AtspiCalls(const AtspiCalls&) = delete;
  AtspiCalls& operator=(const AtspiCalls&) = delete;

  [[nodiscard]] GObjectPtr<AtspiAccessible> desktop();
  // Asked once per element: an element keeps its role for life.
  [[nodiscard]] std::optional<AtspiRole> role(AtspiAccessible* object);
  // Records a role learnt otherwise (from the whole tree), so it is not asked.
  void rememberRole(AtspiAccessible* object, AtspiRole role);
  // The whole tree of the application owning `application` in one call; absent when the
  // application does not offer it or fails. A stall pauses the application like any call.
  [[nodiscard]] std::optional<std::vector<TreeItem>> tree(AtspiAccessible* application);
  [[nodiscard]] std::optional<AtspiStates> states(AtspiAccessible* object);
  [[nodiscard]] std::optional<std::string> name(AtspiAccessible* object);
  [[nodiscard]] std::optional<std::string> description(AtspiAccessible* object);
  [[nodiscard]] std::optional<int> childCount(AtspiAccessible* object);
  [[nodiscard]] GObjectPtr<AtspiAccessible> child(AtspiAccessible* object, int index);
  [[nodiscard]] GObjectPtr<AtspiAccessible> parent(AtspiAccessible* object);
  // Asked once per application.
  [[nodiscard]] std::optional<std::int32_t> processID(AtspiAccessible* object);
  // The toolkit of the application owning `object` ("Qt", "GTK", ...), asked once per
  // application; "" when unknown.
  [[nodiscard]] std::string toolkitName(AtspiAccessible* object);

  [[nodiscard]] bool hasText(AtspiAccessible* object);
  [[nodiscard]] bool hasEditableText(AtspiAccessible* object);
  [[nodiscard]] bool hasComponent(AtspiAccessible* object);

  [[nodiscard]] std::optional<std::int64_t> characterCount(AtspiAccessible* object);
  [[nodiscard]] std::optional<std::string> text(AtspiAccessible* object, std::int64_t start,
                                                std::int64_t end);
  [[nodiscard]] std::optional<int> selectionCount(AtspiAccessible* object);
  [[nodiscard]] std::optional<ToolkitRange> selection(AtspiAccessible* object, int index);
  [[nodiscard]] std::optional<std::int64_t> caretOffset(AtspiAccessible* object);
  // The element's rectangle on screen, or within its window (`ATSPI_COORD_TYPE_WINDOW`).
  [[nodiscard]] std::optional<Rect> screenExtents(AtspiAccessible* object,
                                                  AtspiCoordType coords = ATSPI_COORD_TYPE_SCREEN);
  // Rectangles of the character at `offset` and of the range [start, end), in toolkit offsets;
  // absent when the toolkit answers nothing usable (off screen, or a zero size). A character's
  // rectangle may have a zero height (KTextEditor tells where a character starts, not how tall).
  [[nodiscard]] std::optional<Rect> characterExtents(AtspiAccessible* object, std::int64_t offset,
                                                     AtspiCoordType coords = ATSPI_COORD_TYPE_SCREEN);
  [[nodiscard]] std::optional<Rect> rangeExtents(AtspiAccessible* object, std::int64_t start,
                                                 std::int64_t end,
                                                 AtspiCoordType coords = ATSPI_COORD_TYPE_SCREEN);

  // Text writes: `timedOut` when the program did not answer within the write deadline.
  [[nodiscard]] WriteResult setTextContents(AtspiAccessible* object, std::string_view text);
  [[nodiscard]] WriteResult insertText(AtspiAccessible* object, std::int64_t position, std::string_view text,
                                       std::int64_t length);
  [[nodiscard]] WriteResult deleteText(AtspiAccessible* object, std::int64_t start, std::int64_t end);
  // After a write that timed out: whether the program answers a read within a second write
  // deadline, the pause its silence caused lifted for it. A program answers in order, so an
  // answer means the write has been dealt with.
  [[nodiscard]] bool awaitAnswer(AtspiAccessible* object);
  [[nodiscard]] bool setCaretOffset(AtspiAccessible* object, std::int64_t offset);
  [[nodiscard]] bool setSelection(AtspiAccessible* object, int index, std::int64_t start, std::int64_t end);
  [[nodiscard]] bool addSelection(AtspiAccessible* object, std::int64_t start, std::int64_t end);
  [[nodiscard]] bool removeSelection(AtspiAccessible* object, int index);
  [[nodiscard]] bool grabFocus(AtspiAccessible* object);

  // False while the application owning `object` is left alone after a time-out (and for null).
  [[nodiscard]] bool available(AtspiAccessible* object);
  // Until it ends, or `until` if that comes first, no read waits past `until`, and reads after it
  // answer absent unless known without asking. Writes are not bound.
  [[nodiscard]] CallPatience::Bound boundReads(CallPatience::TimePoint until) {
    return CallPatience::Bound(patience_, until);
  }
  // The same, set and lifted by the caller (absent lifts it).
  void setReadBound(std::optional<CallPatience::TimePoint> until) { patience_.setBound(until); }

  // What a batch tells of one element; absent where it did not answer in time.
  struct Branch {
    std::optional<AtspiStates> states;  // absent too for an element that is gone
    std::optional<int> childCount;
  };
  // The states and child counts of each of `objects`, all of one application, every question
  // sent before the first answer is awaited: the program answers the lot in one go, where one
  // round trip after another waits for it to be scheduled each time.
  [[nodiscard]] std::vector<Branch> branches(std::span<AtspiAccessible* const> objects);
  // The first `counts[i]` children of each of `objects`, asked the same way; a child that did
  // not answer, or is another application's, is left out.
  [[nodiscard]] std::vector<std::vector<GObjectPtr<AtspiAccessible>>> children(
      std::span<AtspiAccessible* const> objects, std::span<const int> counts);

  // The first element under `object` (itself included) in state `state`, in one call through
  // the Collection interface. Absent when there is none; `supported` tells whether the
  // application offers the interface at all (Qt and GTK 4 do not).
  [[nodiscard]] GObjectPtr<AtspiAccessible> firstMatch(AtspiAccessible* object, AtspiStateType state,
                                                       bool& supported);
  // The same for the first element with role `role`.
  [[nodiscard]] GObjectPtr<AtspiAccessible> firstWithRole(AtspiAccessible* object, AtspiRole role,
                                                          bool& supported);

  // Times an application was taken for hung so far.
  [[nodiscard]] int timedOutCalls() const { return timedOutCalls_; }

 private:
  [[nodiscard]] GObjectPtr<AtspiAccessible> firstMatch(AtspiAccessible* object, AtspiMatchRule* rule,
                                                       bool& supported);
  class Call;
  // Available, and with time left for a read of its application.
  [[nodiscard]] bool answerable(AtspiAccessible* object);
  void record(AtspiAccessible* object, std::chrono::steady_clock::duration elapsed,
              std::chrono::milliseconds limit);
  void applyTimeout(std::chrono::milliseconds limit);
  // How long a batch to the application of `objects` may wait; absent when none may be sent.
  [[nodiscard]] std::optional<std::chrono::milliseconds> batchAllowance(
      std::span<AtspiAccessible* const> objects);
  // A batch counts as one call: answered when any of its calls was.
  void recordBatch(AtspiAccessible* object, std::chrono::steady_clock::time_point start,
                   std::chrono::milliseconds allowed, bool answered);

  int timedOutCalls_ = 0;

  struct KnownRole {
    GObjectPtr<AtspiAccessible> object;  // keeps the pointer, the key, from being reused
    AtspiRole role;
  };

  Limits limits_;
  CallPatience patience_;
  std::chrono::milliseconds appliedTimeout_{-1};  // what libatspi was last told
  std::unordered_map<AtspiAccessible*, KnownRole> roles_;
  std::map<std::string, std::string, std::less<>> toolkits_;     // by application bus name
  std::map<std::string, std::int32_t, std::less<>> processIDs_;  // by application bus name
};

}  // namespace wrenfold
