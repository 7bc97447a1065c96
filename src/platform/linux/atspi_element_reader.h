#pragma once

// Reads elements of other applications through the session, using and filling its caches:
// roles in the names the core tests, text (never a password field's), windows, extents, and
// the application object of a process. Main thread only.

#include <atspi/atspi.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/accessibility.h"
#include "platform/linux/atspi_roles.h"
#include "platform/linux/atspi_session.h"
#include "platform/linux/atspi_tree_learner.h"

namespace wrenfold {

class AtspiElementReader {
 public:
  explicit AtspiElementReader(AtspiSession& session) : session_(session), learner_(session) {}

  [[nodiscard]] bool isApplication(AtspiAccessible* object);
  [[nodiscard]] bool isPassword(AtspiAccessible* object);
  // The AX role name; absent when the role cannot be read.
  [[nodiscard]] std::optional<std::string> role(AtspiAccessible* object);
  // The number of children as the application tells it; 0 when it cannot be read.
  [[nodiscard]] int childCount(AtspiAccessible* object) {
    return session_.calls().childCount(object).value_or(0);
  }
  [[nodiscard]] std::optional<std::string> value(AtspiAccessible* object);
  [[nodiscard]] std::optional<std::string> selectedText(AtspiAccessible* object);
  // The window above `object`, kept between reads while no element's children change.
  [[nodiscard]] GObjectPtr<AtspiAccessible> enclosingWindow(AtspiAccessible* object);
  // The screen rectangle, for the position (`forSize` false) or the size asked right after it.
  [[nodiscard]] std::optional<Rect> extents(AtspiAccessible* object, bool forSize);
  // Whether `object` lies inside a web document (a page in a browser or an Electron window).
  [[nodiscard]] bool insideWebDocument(AtspiAccessible* object);

  // The application object of a process as the desktop lists it now; null when none.
  [[nodiscard]] GObjectPtr<AtspiAccessible> application(std::int32_t processID);
  // The same, remembered while its window list is kept and no application came or went; its
  // tree is learnt the first time.
  [[nodiscard]] GObjectPtr<AtspiAccessible> rememberedApplication(std::int32_t processID);

 private:
  [[nodiscard]] RoleStates roleStates(AtspiAccessible* object);

  AtspiSession& session_;
  AtspiTreeLearner learner_;
  struct KnownApplication {
    GObjectPtr<AtspiAccessible> object;
    unsigned generation = 0;
  };
  std::map<std::int32_t, KnownApplication> applications_;
  struct PendingExtents {
    GObjectPtr<AtspiAccessible> object;
    Rect rect;
    std::chrono::steady_clock::time_point until;
  };
  PendingExtents pendingExtents_;
};

}  // namespace wrenfold
