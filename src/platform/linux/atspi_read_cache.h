#pragma once

// What a context read learnt about elements of other applications (their children, the text
// of elements that cannot be edited, the states that decide a text role), kept between reads
// and dropped for an element as soon as its application reports a change to it. A second read
// of an unchanged window then costs almost no round trips. Nothing is kept unless the change
// listeners are registered; events arrive through the default GLib main context (run by the
// Qt event loop). Main thread only.

#include <atspi/atspi.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/platform/accessibility.h"
#include "platform/linux/application_changes.h"
#include "platform/linux/atspi_handle.h"
#include "platform/linux/atspi_roles.h"

namespace wrenfold {

class AtspiReadCache {
 public:
  struct Entry {
    std::optional<std::vector<AccessibilityElement>> children;
    std::optional<std::string> text;  // only for text that cannot be edited
    std::optional<RoleStates> roleStates;
  };

  AtspiReadCache();
  ~AtspiReadCache();
  AtspiReadCache(const AtspiReadCache&) = delete;
  AtspiReadCache& operator=(const AtspiReadCache&) = delete;

  // Whether the change listeners are registered; without them nothing is kept.
  [[nodiscard]] bool isListening() const { return listening_; }
  // What is known about `object`; null when nothing is or nothing may be kept.
  [[nodiscard]] Entry* find(AtspiAccessible* object);
  // The entry to fill for `object`; null when nothing may be kept.
  [[nodiscard]] Entry* entry(AtspiAccessible* object);
  // Drops what is known about `object`, after a write to it.
  void forget(AtspiAccessible* object);
  // Keeps `children` as the children of `object` (when anything may be kept).
  void keepChildren(AtspiAccessible* object, std::vector<AccessibilityElement> children);

  // The top-level window found above `object`, kept until any element's children change (the
  // element may then have moved); null when not known.
  [[nodiscard]] AtspiAccessible* windowOf(AtspiAccessible* object) const;
  void keepWindow(AtspiAccessible* object, AtspiAccessible* window);

  // Equal for two reads of `object`'s application only when it reported no change in between;
  // absent when nothing may be kept.
  [[nodiscard]] std::optional<std::uint64_t> changeStamp(AtspiAccessible* object) const;

  // Changes each time the desktop reports applications coming or going.
  [[nodiscard]] unsigned applicationsGeneration() const { return applicationsGeneration_; }

 private:
  struct Slot {
    GObjectPtr<AtspiAccessible> object;  // keeps the pointer, the key, from being reused
    Entry entry;
  };
  static void onEvent(AtspiEvent* event, void* self);
  void handle(const AtspiEvent& event);
  void forgetChildren(AtspiAccessible* object);

  GObjectPtr<AtspiEventListener> listener_;
  bool listening_ = false;
  std::unordered_map<AtspiAccessible*, Slot> slots_;
  // The element whose kept children list holds the key; keys are only compared, never used.
  std::unordered_map<AtspiAccessible*, AtspiAccessible*> parents_;
  struct WindowLink {
    GObjectPtr<AtspiAccessible> object;  // keeps the key from being reused
    GObjectPtr<AtspiAccessible> window;
  };
  std::unordered_map<AtspiAccessible*, WindowLink> windows_;
  GObjectPtr<AtspiAccessible> desktop_;
  unsigned applicationsGeneration_ = 0;
  ApplicationChanges changes_;
};

}  // namespace wrenfold
