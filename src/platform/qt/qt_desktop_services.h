#pragma once

#include "core/platform/desktop_services.h"

namespace wrenfold {

// Files, folders and addresses handed to the desktop through QDesktopServices (xdg-open).
class QtDesktopServices final : public DesktopServices {
 public:
  [[nodiscard]] Result<void> openPath(const std::filesystem::path& path) override;
  [[nodiscard]] Result<void> openUrl(const std::string& url) override;
};

}  // namespace wrenfold
