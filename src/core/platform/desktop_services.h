#pragma once

#include <filesystem>
#include <string>

#include "core/support/failure.h"

namespace wrenfold {

// Hands files, folders and addresses to the desktop's default handlers (file browser, editor,
// web browser, settings panels).
class DesktopServices {
 public:
  DesktopServices() = default;
  virtual ~DesktopServices() = default;
  DesktopServices(const DesktopServices&) = delete;
  DesktopServices& operator=(const DesktopServices&) = delete;

  // Opens a file or folder with its default application; fails when no handler could be started.
  [[nodiscard]] virtual Result<void> openPath(const std::filesystem::path& path) = 0;
  // Opens an address (https:, a settings scheme); fails when it is not understood or cannot open.
  [[nodiscard]] virtual Result<void> openUrl(const std::string& url) = 0;
};

}  // namespace wrenfold
