#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/platform/desktop_services.h"
#include "fakes/fake_system_log.h"

namespace wrenfold::testing {

// Opens nothing; remembers what the settings asked the desktop to open.
class RecordingDesktopServices final : public DesktopServices {
 public:
  [[nodiscard]] Result<void> openPath(const std::filesystem::path& path) override {
    opened.push_back(path.string());
    return {};
  }
  [[nodiscard]] Result<void> openUrl(const std::string& url) override {
    opened.push_back(url);
    return {};
  }

  std::vector<std::string> opened;
};

}  // namespace wrenfold::testing
