#pragma once

// Starting Wrenfold with the user's session: a login item on macOS, an XDG autostart entry on
// Linux.

#include "core/support/failure.h"

namespace wrenfold {

class LaunchAtLogin {
 public:
  virtual ~LaunchAtLogin() = default;

  [[nodiscard]] virtual bool isEnabled() const = 0;
  // Fails with a Chinese description naming what could not be done; nothing changes then.
  [[nodiscard]] virtual Result<void> setEnabled(bool enabled) = 0;
};

}  // namespace wrenfold
