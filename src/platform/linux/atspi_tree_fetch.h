#pragma once

// An application's whole accessibility tree in one D-Bus call (org.a11y.atspi.Cache.GetItems,
// which GTK answers), instead of one round trip per element and attribute. Main thread only.

#include <atspi/atspi.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wrenfold {

struct TreeItem {
  std::string path;
  std::string parentPath;                            // "" when the parent is another application's
  int indexInParent = -1;                            // -1 when not told
  int childCount = -1;                               // -1 when not told
  std::optional<std::vector<std::string>> children;  // older toolkits list them instead
  std::string name;
  AtspiRole role = ATSPI_ROLE_INVALID;
  std::uint64_t states = 0;  // bit n: AtspiStateType n
  bool hasText = false;
  bool hasEditableText = false;
};

// The items of the application owning `application`, as one blocking call bounded by
// `timeout`; absent when the application does not offer the call, or fails or stalls. Sets
// `stalled` when the call took the whole timeout.
[[nodiscard]] std::optional<std::vector<TreeItem>> fetchTree(AtspiAccessible* application,
                                                             std::chrono::milliseconds timeout,
                                                             bool& stalled);

// The object libatspi uses for `path` of the application on bus `busName` (the same one its
// other calls return), without a round trip; null when this libatspi cannot make one.
[[nodiscard]] AtspiAccessible* refObject(const std::string& busName, const std::string& path);

}  // namespace wrenfold
